// dkqsim as a process, reached over TCP and over its pseudo-terminal by the
// module link, the way the programs reach a bus. (Its configuration memory
// kept across a restart is seen in the dkq config tool's test.)
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "link/module_link.h"
#include "tests/support/sim_process.h"

namespace dkq::sim::test {
namespace {

using dkq::test::ScratchDir;
using dkq::test::SimProcess;

// A module link to the simulator's TCP port or, when given, its line device.
std::unique_ptr<ModuleLink> linkTo(int tcpPort, const std::string& device = "") {
    auto link = std::make_unique<ModuleLink>();
    link->UseTcp = device.empty();
    link->IpAddress = "127.0.0.1";
    link->TcpPort = tcpPort;
    link->ComDevice = [device](int) { return device; };
    link->ConnectTimeoutMs = 2000;
    link->ReceiveTimeoutMs = 300;
    EXPECT_EQ(link->open_com(1, 9600), open::Ok);
    return link;
}

int readOutputWord(ModuleLink& link, int address = 1) {
    std::array<std::int32_t, 1> word{};
    return link.ReadHoldingRegisters(address, 16, 1, word);
}

// One client at a time: a new connection replaces the current one, a drop
// or the N-th answer ends it, a close-mid fault ends it half way. Without
// record memory text commands go unanswered.
TEST(SimOverTcp, ConnectionsEnd) {
    SimProcess sim({"--tcp", "0", "--modules", "1,2", "--deterministic", "--close-after", "2",
                    "--fault", "close-mid:2"});
    const auto first = linkTo(sim.tcpPort());
    EXPECT_EQ(readOutputWord(*first), tx::Ok);
    const auto second = linkTo(sim.tcpPort());
    EXPECT_EQ(readOutputWord(*second), tx::Ok);
    EXPECT_EQ(readOutputWord(*first), tx::PeerClosed);
    EXPECT_EQ(sim.command("drop"), "ok");
    EXPECT_EQ(readOutputWord(*second), tx::PeerClosed);

    const auto third = linkTo(sim.tcpPort());
    third->RecordMemoryMode = true;
    EXPECT_EQ(third->AsciiCommand("*RD_0,0", 31), 0);
    EXPECT_EQ(readOutputWord(*third) + readOutputWord(*third), tx::Ok);
    EXPECT_NE(readOutputWord(*third), tx::Ok);  // closed after its second answer
    EXPECT_EQ(third->IsOpen(), 0);

    const auto fourth = linkTo(sim.tcpPort());
    EXPECT_EQ(readOutputWord(*fourth, 2), tx::PeerClosed);
    EXPECT_EQ(fourth->IsOpen(), 0);
}

// Started as a service (stdin at end of file), it runs until SIGTERM and
// then removes its line device: a link to a pseudo-terminal that a second
// client can open after the first closed.
TEST(SimAsService, IgnoresEndOfInputAndStopsCleanlyOnSigterm) {
    ScratchDir dir;
    const std::string program = dkq::test::toolPath("DKQSIM");
    // The shell tells its process id, which the simulator then takes over.
    FILE* out = ::popen(
        ("echo $$; exec '" + program + "' --pty ttyBus --deterministic </dev/null").c_str(), "r");
    ASSERT_NE(out, nullptr);
    char line[256];
    const bool started = std::fgets(line, sizeof line, out) != nullptr;
    if (!started) ::pclose(out);
    ASSERT_TRUE(started);
    const pid_t pid = std::stoi(line);
    EXPECT_TRUE(std::fgets(line, sizeof line, out));  // the line printed once ready
    usleep(200'000);
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0) << "stopped at end of input";
    EXPECT_TRUE(std::filesystem::read_symlink("ttyBus").string().starts_with("/dev/pts/"));
    for (int round = 0; round < 2; ++round)
        EXPECT_EQ(readOutputWord(*linkTo(0, dir.file("ttyBus"))), tx::Ok);
    kill(pid, SIGTERM);
    status = ::pclose(out);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_FALSE(std::filesystem::is_symlink("ttyBus"));

    // A command line it does not understand is a usage error.
    status = std::system((program + " --no-such-option 2>/dev/null").c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 64);
    // A state file that is no regular file ends it at once, neither read nor
    // waited for (the bound kills one that blocks or reads on).
    ASSERT_EQ(mkfifo("fifo", 0600), 0);
    for (const std::string state : {"/dev/zero", "fifo"}) {
        status = std::system(("timeout -s KILL 1 '" + program + "' --tcp 127.0.0.1:0 --state " +
                              state + " 2>err </dev/null")
                                 .c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 66) << state << " " << status;
        EXPECT_EQ(dkq::test::readFileBytes("err"), "dkqsim: " + state + ": not a regular file\n");
    }
}

}  // namespace
}  // namespace dkq::sim::test
