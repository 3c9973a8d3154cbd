// dkqsim as a process, reached over TCP and over its pseudo-terminal the way
// the programs reach a bus.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "tests/sim/frames.h"
#include "tests/sim/line_client.h"
#include "tests/support/sim_process.h"

namespace dkq::sim::test {
namespace {

using dkq::test::ScratchDir;
using dkq::test::SimProcess;

const std::string ReadHolding1 = ":010300000013E9";  // module 1, holding 0..18
const std::string ReadHolding1Answer =
    ":0103260000000100020003000400050006000700080009000A000B2EE113890000000000000064006520\r\n";
const std::string ReadOutputWord1 = requestLine({1, 3, 0, 16, 0, 1});
const std::string OutputWord0Answer = modbus::encodeFrame(Bytes{1, 3, 2, 0, 0});

TEST(SimOverTcp, AnswersExactlyAndTracesEveryLine) {
    SimProcess sim({"--tcp", "127.0.0.1:0", "--modules", "1,2", "--deterministic", "--trace"});
    auto client = LineClient::tcp(sim.tcpPort());
    ASSERT_TRUE(client.isOpen());
    EXPECT_EQ(client.exchange(ReadHolding1), ReadHolding1Answer);
    const std::string toAbsentModule = requestLine({3, 3, 0, 0, 0, 1});
    EXPECT_EQ(client.exchange(toAbsentModule, 200), "");
    EXPECT_EQ(client.exchange("*RD_0,0", 100), "");  // no record memory here
    EXPECT_EQ(
        sim.takeLines("rx "),
        (std::vector<std::string>{"rx " + ReadHolding1, "rx " + toAbsentModule, "rx *RD_0,0"}));
}

TEST(SimOverTcp, ConsoleChangesWhatTheModulesAnswer) {
    SimProcess sim({"--tcp", "0", "--modules", "1-2", "--deterministic"});
    auto client = LineClient::tcp(sim.tcpPort());
    EXPECT_EQ(sim.command("set-input 2 16 0xFFFF"), "ok");
    EXPECT_EQ(client.exchange(requestLine({2, 4, 0, 16, 0, 1})),
              modbus::encodeFrame(Bytes{2, 4, 2, 0xFF, 0xFF}));
    EXPECT_EQ(sim.command("mute 1"), "ok");
    EXPECT_EQ(client.exchange(ReadOutputWord1, 200), "");
    EXPECT_EQ(sim.command("unmute 1"), "ok");
    EXPECT_EQ(sim.command("fault lower-hex:1"), "ok");
    EXPECT_EQ(client.exchange(requestLine({1, 3, 0, 12, 0, 1})), ":0103022ee1eb\r\n");
    EXPECT_EQ(sim.command("set-input 7 0 0").rfind("error ", 0), 0u);
}

TEST(SimOverTcp, DropClosesTheConnectionAndTheNextClientIsServed) {
    SimProcess sim({"--tcp", "0", "--deterministic"});
    auto first = LineClient::tcp(sim.tcpPort());
    EXPECT_EQ(first.exchange(ReadOutputWord1), OutputWord0Answer);
    EXPECT_EQ(sim.command("drop"), "ok");
    first.receive("\n", 1000);
    EXPECT_TRUE(first.peerClosed());

    auto second = LineClient::tcp(sim.tcpPort());
    EXPECT_EQ(second.exchange(ReadOutputWord1), OutputWord0Answer);
}

TEST(SimOverTcp, NewConnectionReplacesTheCurrentOne) {
    SimProcess sim({"--tcp", "0", "--deterministic"});
    auto first = LineClient::tcp(sim.tcpPort());
    EXPECT_EQ(first.exchange(ReadOutputWord1), OutputWord0Answer);
    auto second = LineClient::tcp(sim.tcpPort());
    EXPECT_EQ(second.exchange(ReadOutputWord1), OutputWord0Answer);
    first.receive("\n", 1000);
    EXPECT_TRUE(first.peerClosed());
}

TEST(SimOverTcp, ClosesAfterTheNthAnswer) {
    SimProcess sim({"--tcp", "0", "--deterministic", "--close-after", "2"});
    auto client = LineClient::tcp(sim.tcpPort());
    EXPECT_EQ(client.exchange(ReadOutputWord1), OutputWord0Answer);
    EXPECT_EQ(client.exchange(ReadOutputWord1), OutputWord0Answer);
    client.receive("\n", 1000);
    EXPECT_TRUE(client.peerClosed());
}

TEST(SimOverTcp, CloseMidSendsHalfTheAnswerThenCloses) {
    SimProcess sim({"--tcp", "0", "--deterministic", "--fault", "close-mid"});
    auto client = LineClient::tcp(sim.tcpPort());
    EXPECT_EQ(client.exchange(ReadOutputWord1),
              OutputWord0Answer.substr(0, OutputWord0Answer.size() / 2));
    EXPECT_TRUE(client.peerClosed());
}

TEST(SimOverTcp, ConfigurationMemorySurvivesARestart) {
    ScratchDir dir;
    const std::vector<std::string> args{"--tcp", "0", "--modules", "1,9", "--state", "bus.state"};
    {
        SimProcess sim(args);
        auto client = LineClient::tcp(sim.tcpPort());
        const Bytes write{9, 31, 0, 7, 0, 2, 0x01, 0x02, 0xFF, 0xFE};
        EXPECT_EQ(answerBytes(client.exchange(requestLine(write))),
                  Bytes(write.begin(), write.begin() + 6));
        EXPECT_EQ(sim.command("set-config 1 239 5"), "ok");
    }
    SimProcess sim(args);
    auto client = LineClient::tcp(sim.tcpPort());
    EXPECT_EQ(answerBytes(client.exchange(requestLine({9, 30, 0, 7, 0, 2}))),
              (Bytes{9, 30, 4, 0x01, 0x02, 0xFF, 0xFE}));
    EXPECT_EQ(answerBytes(client.exchange(requestLine({1, 30, 0, 239, 0, 1}))),
              (Bytes{1, 30, 2, 0, 5}));
}

struct PacingCase {
    int baud;
    int delayMs;
};

class SimPacing : public ::testing::TestWithParam<PacingCase> {};

// Pacing holds an exchange back for its wire time: request and answer
// characters at 10 bits each, plus the delay. How closely it keeps to it is
// measured by the benchmarks; here only that it paces, and not grossly more.
TEST_P(SimPacing, ExchangeTakesTheWireTime) {
    const auto [baud, delayMs] = GetParam();
    SimProcess sim({"--tcp", "0", "--deterministic", "--baud", std::to_string(baud), "--delay",
                    std::to_string(delayMs)});
    auto client = LineClient::tcp(sim.tcpPort());
    constexpr int Exchanges = 5;
    const double characters = (ReadHolding1.size() + 2) + ReadHolding1Answer.size();
    const double wireSeconds = characters * 10 / baud + delayMs / 1000.0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < Exchanges; ++i)
        ASSERT_EQ(client.exchange(ReadHolding1), ReadHolding1Answer);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    const double perExchange = took.count() / Exchanges;
    EXPECT_GE(perExchange, wireSeconds * 0.99);
    EXPECT_LE(perExchange, wireSeconds * 2 + 0.050);
}

INSTANTIATE_TEST_SUITE_P(Rates, SimPacing,
                         ::testing::Values(PacingCase{9600, 0}, PacingCase{115200, 0},
                                           PacingCase{115200, 20}));

TEST(SimOverPty, AnswersAClientThatOpensItLikeASerialPort) {
    ScratchDir dir;
    const std::string link = dir.file("ttyDKQ");
    {
        SimProcess sim({"--pty", link, "--tcp", "0", "--deterministic"});
        EXPECT_NE(sim.tcpPort(), 0);
        EXPECT_EQ(std::filesystem::read_symlink(link).string(), sim.ptyPath());
        for (int round = 0; round < 2; ++round) {  // a second client after the first closed
            auto client = LineClient::serial(link);
            ASSERT_TRUE(client.isOpen());
            EXPECT_EQ(client.exchange(ReadHolding1), ReadHolding1Answer);
        }
    }
    EXPECT_FALSE(std::filesystem::is_symlink(link));
}

// Started as a service (stdin at end of file), it runs until SIGTERM and
// then removes its link.
TEST(SimAsService, IgnoresEndOfInputAndStopsCleanlyOnSigterm) {
    ScratchDir dir;
    const std::string program = dkq::test::toolPath("DKQSIM");
    const std::string link = dir.file("ttyBus");
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<char*> argv{const_cast<char*>(program.c_str()), const_cast<char*>("--pty"),
                            const_cast<char*>(link.c_str()), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);

    char first[256] = {};
    EXPECT_GT(read(out[0], first, sizeof first - 1), 0);  // the line printed once ready
    close(out[0]);
    usleep(200'000);
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0) << "stopped at end of input";
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    kill(pid, SIGTERM);
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(std::filesystem::is_symlink(link));
}

TEST(SimCommandLine, UnknownOptionExitsWith64) {
    const std::string command = dkq::test::toolPath("DKQSIM") + " --no-such-option 2>/dev/null";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 64);
}

}  // namespace
}  // namespace dkq::sim::test
