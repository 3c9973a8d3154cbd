// The link against the simulated bus, over TCP and over a pseudo-terminal:
// every register operation, exact request texts, faults, the log.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "link/comm_log.h"
#include "link/module_link.h"
#include "tests/support/sim_process.h"

namespace dkq {
namespace {

enum class Transport { Tcp, Pty };

std::vector<std::int32_t> deterministicInputs(int a) {
    std::vector<std::int32_t> v;
    for (int r = 0; r < 4; ++r) v.push_back(2930 + 10 * a + r);
    for (int r = 4; r < 16; ++r) v.push_back(250 * r + a);
    for (int r = 16; r < 20; ++r) v.push_back(100 * a + r - 16);
    return v;
}

long long msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

class LinkOnSimulatedBus : public ::testing::TestWithParam<Transport> {
  protected:
    void SetUp() override { start({}); }

    void start(std::vector<std::string> extra) {
        link.close_com();
        sim.reset();
        std::vector<std::string> args{"--deterministic", "--trace", "--modules", "1,2,3"};
        if (GetParam() == Transport::Tcp) args.insert(args.end(), {"--tcp", "127.0.0.1:0"});
        if (GetParam() == Transport::Pty) args.insert(args.end(), {"--pty", dir.file("bus")});
        args.insert(args.end(), extra.begin(), extra.end());
        sim = std::make_unique<test::SimProcess>(args);
        link.UseTcp = GetParam() == Transport::Tcp;
        link.IpAddress = "127.0.0.1";
        link.TcpPort = sim->tcpPort();
        link.ConnectTimeoutMs = 2000;
        link.ReceiveTimeoutMs = 800;
        link.LogEnabled = 1;
        link.ComDevice = [path = sim->ptyPath()](int) { return path; };
        link.PortSetupMessage = [this](const std::string& m) { portMessages.push_back(m); };
        link.CommLog("");
        ASSERT_EQ(link.open_com(4, 9600), open::Ok);
        sim->takeLines("rx");
    }
    void TearDown() override { link.close_com(); }

    std::vector<std::string> received() { return sim->takeLines("rx "); }
    std::vector<std::int32_t> read(int (ModuleLink::*op)(int, int, int, std::span<std::int32_t>),
                                   int addr, int start, int count) {
        std::vector<std::int32_t> values(static_cast<size_t>(count));
        EXPECT_EQ((link.*op)(addr, start, count, values), tx::Ok);
        return values;
    }
    bool tcp() const { return GetParam() == Transport::Tcp; }

    test::ScratchDir dir;
    std::unique_ptr<test::SimProcess> sim;
    ModuleLink link;
    std::vector<std::string> portMessages;
};

TEST_P(LinkOnSimulatedBus, ReadsReturnTheModulesRegisters) {
    EXPECT_EQ(read(&ModuleLink::ReadInputRegisters, 2, 0, 20), deterministicInputs(2));
    EXPECT_EQ(read(&ModuleLink::ReadHoldingRegisters, 3, 12, 7),
              (std::vector<std::int32_t>{12003, 5003, 0, 0, 0, 300, 301}));
    EXPECT_EQ(read(&ModuleLink::ReadSignedRegisters, 1, 0, 7),
              (std::vector<std::int32_t>{1, 0x1234, 0x5678, 0x9A01 - 0x10000, 0, 0, 0}));
    EXPECT_EQ(received(), (std::vector<std::string>{"rx :020400000014E6", "rx :0303000C0007E7",
                                                    "rx :011E00000007DA"}));
    EXPECT_TRUE(portMessages.empty());
}

TEST_P(LinkOnSimulatedBus, SignedAndUnsignedReadsOfTheSameBits) {
    ASSERT_EQ(sim->command("set-holding 1 14 0xFFFE"), "ok");
    ASSERT_EQ(sim->command("set-config 1 20 0xFFFE"), "ok");
    ASSERT_EQ(sim->command("set-input 1 19 40000"), "ok");
    EXPECT_EQ(read(&ModuleLink::ReadHoldingRegisters, 1, 14, 1), std::vector<std::int32_t>{65534});
    EXPECT_EQ(read(&ModuleLink::ReadSignedRegisters, 1, 20, 1), std::vector<std::int32_t>{-2});
    EXPECT_EQ(read(&ModuleLink::ReadInputRegisters, 1, 19, 1), std::vector<std::int32_t>{40000});
}

TEST_P(LinkOnSimulatedBus, WritesSendExactFramesAndChangeTheModule) {
    EXPECT_EQ(link.WriteRegister(2, 16, 5), tx::Ok);
    EXPECT_EQ(link.WriteCoil(2, 1, true), tx::Ok);
    EXPECT_EQ(link.ClearCounters(3, 0x05), tx::Ok);
    const std::vector<std::int32_t> config{1, -2, 70000};
    EXPECT_EQ(link.WriteRegisters(1, 100, 3, config), tx::Ok);
    EXPECT_EQ(link.WriteText(1, 254, 11, "Test LCD 1 "), tx::Ok);
    EXPECT_EQ(received(),
              (std::vector<std::string>{"rx :020600100005E3", "rx :02050001FF00F9",
                                        "rx :030A0505E9", "rx :011F006400030001FFFE1170FA",
                                        "rx :012000FE000B54657374204C434420312000D2"}));
    EXPECT_EQ(read(&ModuleLink::ReadHoldingRegisters, 2, 0, 3),
              (std::vector<std::int32_t>{0, 1, 2}));  // on: pulled to ground
    EXPECT_EQ(read(&ModuleLink::ReadInputRegisters, 3, 16, 4),
              (std::vector<std::int32_t>{0, 301, 0, 303}));
    EXPECT_EQ(read(&ModuleLink::ReadSignedRegisters, 1, 100, 3),
              (std::vector<std::int32_t>{1, -2, 70000 - 65536}));
}

TEST_P(LinkOnSimulatedBus, BroadcastWriteReachesEveryModuleAndWaitsForNoAnswer) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(link.WriteRegister(0, 16, 1), tx::Ok);
    EXPECT_LT(msSince(start), 700);  // not the 800 ms receive time-out
    for (int a = 1; a <= 3; ++a)
        EXPECT_EQ(read(&ModuleLink::ReadHoldingRegisters, a, 16, 1), std::vector<std::int32_t>{1});
}

TEST_P(LinkOnSimulatedBus, DiagnosticsBlocks) {
    Diagn1Block d1{};
    EXPECT_EQ(link.ReadDiagn1(3, 0, d1), tx::Ok);
    EXPECT_EQ(std::vector<int>(d1.begin(), d1.begin() + 10),
              (std::vector<int>{0x25, 0x12, 0x34, 0x56, 0x78, 0x9A, 3, 120, 50, 0xA5}));
    Diagn2Block d2{};
    EXPECT_EQ(link.ReadDiagn2(2, 0, d2), tx::Ok);
    EXPECT_EQ(d2[0], 2);
    EXPECT_EQ(d2[29], 31);
    const std::string log = test::readFileBytes(CommLogFileName);
    EXPECT_NE(log.find(">\tReadDiagn1 OK\r\n"), std::string::npos);
    EXPECT_NE(log.find(">\tReadDiagn2 OK\r\n"), std::string::npos);
    EXPECT_NE(log.find(">\trx_sum OK, "), std::string::npos);
    EXPECT_NE(log.find(" ms (33 B)\r\n"), std::string::npos);  // 14 bytes: 2 * 14 + 5 characters
}

TEST_P(LinkOnSimulatedBus, SilentAndDamagedAnswers) {
    ASSERT_EQ(sim->command("mute 2"), "ok");
    std::array<std::int32_t, 20> v{};
    EXPECT_EQ(link.ReadInputRegisters(2, 0, 20, v), tx::NoAnswer);
    EXPECT_EQ(link.ReadInputRegisters(4, 0, 20, v), tx::NoAnswer);  // not on the bus
    ASSERT_EQ(sim->command("unmute 2"), "ok");
    ASSERT_EQ(sim->command("fault bad-lrc:2"), "ok");
    EXPECT_EQ(link.ReadInputRegisters(2, 0, 20, v), tx::LrcError);
    ASSERT_EQ(sim->command("clear-faults"), "ok");
    ASSERT_EQ(sim->command("fault lower-hex"), "ok");
    EXPECT_EQ(link.ReadInputRegisters(2, 0, 20, v), tx::Ok);
    EXPECT_EQ(std::vector<std::int32_t>(v.begin(), v.end()), deterministicInputs(2));
    EXPECT_EQ(link.TimeoutCount, 0);
}

TEST_P(LinkOnSimulatedBus, ExceptionAnswerIsTooShort) {
    start({"--exception", "4"});
    std::array<std::int32_t, 20> v{};
    EXPECT_EQ(link.ReadInputRegisters(1, 0, 20, v), tx::BadLength);
    EXPECT_EQ(link.ReadHoldingRegisters(1, 0, 19, v), tx::Ok);
}

INSTANTIATE_TEST_SUITE_P(Transports, LinkOnSimulatedBus,
                         ::testing::Values(Transport::Tcp, Transport::Pty), [](const auto& info) {
                             return info.param == Transport::Tcp ? "Tcp" : "Pty";
                         });

class LinkOverTcp : public LinkOnSimulatedBus {};

TEST_P(LinkOverTcp, BytesBeforeTheFrameAreSkipped) {
    ASSERT_EQ(sim->command("fault garbage"), "ok");
    std::array<std::int32_t, 20> v{};
    EXPECT_EQ(link.ReadInputRegisters(1, 0, 20, v), tx::Ok);
}

TEST_P(LinkOverTcp, PeerClosingMidAnswerOrDroppingClosesTheLink) {
    ASSERT_EQ(sim->command("fault close-mid"), "ok");
    std::array<std::int32_t, 20> v{};
    EXPECT_EQ(link.ReadInputRegisters(1, 0, 20, v), tx::PeerClosed);
    EXPECT_EQ(link.IsOpen(), 0);
    ASSERT_EQ(sim->command("clear-faults"), "ok");
    ASSERT_EQ(link.open_com(0, 0), open::Ok);
    EXPECT_EQ(link.ReadInputRegisters(1, 0, 20, v), tx::Ok);
    ASSERT_EQ(sim->command("drop"), "ok");
    const int code = link.ReadInputRegisters(1, 0, 20, v);
    EXPECT_TRUE(code == tx::PeerClosed || code == tx::SendFailed) << code;
    EXPECT_EQ(link.IsOpen(), 0);
}

TEST_P(LinkOverTcp, StoppedNetworkFailsTheNextSend) {
    link.InitNetwork(true);
    link.InitNetwork(false);
    EXPECT_EQ(link.NetworkStarted, 0);
    std::array<std::int32_t, 1> v{};
    EXPECT_EQ(link.ReadInputRegisters(1, 0, 1, v), tx::SendFailed);
    EXPECT_EQ(link.IsOpen(), 0);
}

INSTANTIATE_TEST_SUITE_P(Tcp, LinkOverTcp, ::testing::Values(Transport::Tcp),
                         [](const auto&) { return "Tcp"; });

class LinkOverSerial : public LinkOnSimulatedBus {};

TEST_P(LinkOverSerial, TransmitterStaysOnForTheFramesTimeOnTheWire) {
    EXPECT_NEAR(link.MicrosPerChar, 1041.67, 0.01);
    EXPECT_EQ(link.BaudRate, 9600);
    // A broadcast returns right after RTS drops: 17 characters at 9600 baud.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(link.WriteRegister(0, 16, 0), tx::Ok);
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
    EXPECT_GE(micros, 17708);
    EXPECT_LT(micros, 100'000);
}

TEST_P(LinkOverSerial, SilentModuleTimesOutAfterThePortTimeout) {
    ASSERT_EQ(sim->command("mute 1"), "ok");
    std::array<std::int32_t, 1> v{};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(link.ReadInputRegisters(1, 0, 1, v), tx::NoAnswer);  // 900 + 2 * 15 ms
    EXPECT_GE(msSince(start), 930);
    EXPECT_LT(msSince(start), 1800);  // one read, not two
}

TEST_P(LinkOverSerial, ReopeningAnOpenPortAndTheRecordMemoryWakeUp) {
    link.RecordMemoryMode = true;
    ASSERT_EQ(link.open_com(4, 9600), open::Ok);
    EXPECT_EQ(link.BaudRate, 115200);
    EXPECT_EQ(received(), (std::vector<std::string>{"rx :002100000000DF", "rx :002100000000DF"}));
    EXPECT_NE(test::readFileBytes(CommLogFileName).find("open_COM4 OK, "), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Pty, LinkOverSerial, ::testing::Values(Transport::Pty),
                         [](const auto&) { return "Pty"; });

}  // namespace
}  // namespace dkq
