// dkq as scripts use it: output lines, exit status, usage errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "common/version.h"
#include "tests/support/sim_process.h"

namespace dkq {
namespace {

using test::runDkq;
using test::ToolRun;

class DkqTool : public ::testing::Test {
  protected:
    std::string tcp() const { return "--tcp 127.0.0.1:" + std::to_string(sim.tcpPort()) + " "; }
    test::ScratchDir dir;
    test::SimProcess sim{
        {"--deterministic", "--modules", "1,2", "--tcp", "127.0.0.1:0", "--pty", dir.file("bus")}};
};

TEST_F(DkqTool, ReadsPrintOneLineWritesNothingAndTheLogOptionLogs) {
    const std::pair<std::string, std::string> runs[] = {
        {"--log read-input 2 16 4", "200 201 202 203\n"},
        {"read-holding 1 12 2", "12001 5001\n"},
        {"read-signed 2 3 1", std::to_string(0x9A02 - 0x10000) + "\n"},
        {"diag1 2", "25 12 34 56 78 9A 02 78 32 A5 " /* EEPROM sum follows */},
        {"write-register 1 16 3", ""},
        {"write-coil 1 5 on", ""},
        {"clear-counters 2 0x0F", ""},
        {"write-registers 1 50 7 -1 65535", ""},
        {"write-text 1 254 \"Żółw 1\"", ""},
        {"read-holding 1 16 1", "35\n"},
        {"read-input 2 16 4", "0 0 0 0\n"},
        {"read-signed 1 50 3", "7 -1 -1\n"},
    };
    for (const auto& [args, out] : runs) {
        const ToolRun run = runDkq(tcp() + args);
        EXPECT_EQ(run.status, 0) << args << run.err;
        EXPECT_EQ(out.empty() ? run.out : run.out.substr(0, out.size()), out) << args;
    }
    const ToolRun diag = runDkq("--device " + sim.ptyPath() + " diag1 2 0");
    EXPECT_EQ(diag.status, 0) << diag.err;
    EXPECT_NE(diag.out.find("\nv25  SN=123456789A02 SUM=A5\n"), std::string::npos) << diag.out;
    const std::string log = test::readFileBytes("dkq_comm.log");
    for (const char* line : {">\tconnect OK, ", " ms (27 B)\r\n", ">\tclose_com\r\n"})
        EXPECT_NE(log.find(line), std::string::npos) << log;
}

TEST_F(DkqTool, FailuresExitWithTheirCodeAndSayWhy) {
    ASSERT_EQ(sim.command("mute 1"), "ok");
    const ToolRun silent = runDkq(tcp() + "--timeout 100 read-input 1 0 1");
    EXPECT_EQ(silent.status, 1);
    EXPECT_EQ(silent.err, "dkq: read failed: code 1 (no answer within the time-out)\n");
    EXPECT_EQ(silent.out, "");
    const ToolRun refused = runDkq("--tcp 127.0.0.1:1 read-input 1 0 1");
    EXPECT_EQ(refused.status, 9);
    EXPECT_NE(refused.err.find("open_com failed: code 2"), std::string::npos);

    const char* wrong[] = {
        "read-input 1 0 20",                     // no connection
        "--tcp 127.0.0.1:5 --com 1 diag1 1",     // two connections
        "--tcp 127.0.0.1:5 read-input 1 0 126",  // count beyond one frame
        "--tcp 127.0.0.1:5 read-input 1 0",      // missing count
        "--tcp 127.0.0.1:5 write-coil 1 2 maybe",
        "--tcp 127.0.0.1:5 read-input x 0 1",
        "--tcp 127.0.0.1:5 no-such-command",
        "--tcp 127.0.0.1 diag1 1",  // no port
    };
    for (const char* args : wrong) {
        const ToolRun run = runDkq(args);
        EXPECT_EQ(run.status, 64) << args;
        EXPECT_NE(run.err.find("usage: dkq"), std::string::npos) << args;
    }

    // A COM port number opens the device named in the ports settings, the
    // file a technician writes by hand as the README shows it.
    std::filesystem::create_directories("config/Veldmark");
    std::ofstream("config/Veldmark/Ports.conf") << "[General]\nCOM3=" << sim.ptyPath() << "\n";
    const std::string environment = "XDG_CONFIG_HOME=" + dir.file("config");
    const ToolRun com = runDkq("--com 3 read-input 2 16 1", environment);
    EXPECT_EQ(com.status, 0) << com.err;
    EXPECT_EQ(com.out, "200\n");
    EXPECT_EQ(runDkq("--com 4 read-input 2 16 1", environment).status, 9);  // no such device
}

// A message during a download starts on a line of its own, not after the
// progress counter.
TEST(DkqToolDownload, AMessageEndsTheProgressLine) {
    test::ScratchDir dir;
    test::SimProcess sim({"--tcp", "127.0.0.1:0", "--rec-count", "100", "--close-after", "3"});
    const ToolRun run =
        runDkq("--tcp 127.0.0.1:" + std::to_string(sim.tcpPort()) + " logger-download dane.csv");
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find(" / 100\nModuł nie odsyła danych!\n"), std::string::npos) << run.err;
}

// Standard output of a command that exits with 0; empty otherwise.
std::string outputOf(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, pipe)) out.append(buf, n);
    return pclose(pipe) == 0 ? out : std::string();
}

TEST(DkqPrograms, VersionAndHelpAnswerWithoutALine) {
    for (const char* tool : {"DKQ_TOOL", "DKQSIM"}) {
        const std::string path = test::toolPath(tool);
        const std::string name = std::filesystem::path(path).filename().string();
        EXPECT_EQ(outputOf(path + " --version"), name + " " + SuiteVersion + "\n");
        for (const char* help : {" -h", " --help"})
            EXPECT_EQ(outputOf(path + help).rfind("usage: " + name, 0), 0u) << name << help;
    }
}

}  // namespace
}  // namespace dkq
