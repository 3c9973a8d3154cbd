// The link against the simulated bus, over TCP and over a pseudo-terminal:
// every register operation, exact request texts, time-outs, the log, in one run
// per transport.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "link/comm_log.h"
#include "link/module_link.h"
#include "tests/support/sim_process.h"

namespace dkq {
namespace {

using Values = std::vector<std::int32_t>;
using Lines = std::vector<std::string>;
enum class Transport { Tcp, Pty };

// Input registers 0..19 of module 2 on a deterministic bus.
const Values kInputsOf2{2950, 2951, 2952, 2953, 1002, 1252, 1502, 1752, 2002, 2252,
                        2502, 2752, 3002, 3252, 3502, 3752, 200,  201,  202,  203};

long long microsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

class LinkOnSimulatedBus : public ::testing::TestWithParam<Transport> {
  protected:
    void SetUp() override {
        link.UseTcp = tcp();
        link.IpAddress = "127.0.0.1";
        link.TcpPort = sim.tcpPort();
        link.ConnectTimeoutMs = 2000;
        link.ReceiveTimeoutMs = 800;
        link.LogEnabled = 1;
        link.ComDevice = [path = sim.ptyPath()](int) { return path; };
        link.PortSetupMessage = [this](const std::string& m) { portMessages.push_back(m); };
        link.CommLog("");
        ASSERT_EQ(link.open_com(4, 9600), open::Ok);
        sim.takeLines("rx");
    }
    void TearDown() override { link.close_com(); }

    Lines received() { return sim.takeLines("rx "); }
    Values read(int (ModuleLink::*op)(int, int, int, std::span<std::int32_t>), int addr, int start,
                int count) {
        Values values(static_cast<size_t>(count));
        EXPECT_EQ((link.*op)(addr, start, count, values), tx::Ok);
        return values;
    }
    int readInputs(int addr) {
        std::array<std::int32_t, 20> v{};
        return link.ReadInputRegisters(addr, 0, 20, v);
    }
    bool tcp() const { return GetParam() == Transport::Tcp; }
    bool logHas(const std::string& text) {
        return test::readFileBytes(CommLogFileName).find(text) != std::string::npos;
    }

    test::ScratchDir dir;
    test::SimProcess sim{{"--deterministic", "--trace", "--modules", "1,2,3",
                          tcp() ? "--tcp" : "--pty", tcp() ? "127.0.0.1:0" : dir.file("bus")}};
    ModuleLink link;
    Lines portMessages;
};

TEST_P(LinkOnSimulatedBus, EveryOperationFaultAndLogLine) {
    using L = ModuleLink;
    EXPECT_EQ(read(&L::ReadInputRegisters, 2, 0, 20), kInputsOf2);
    EXPECT_EQ(read(&L::ReadHoldingRegisters, 3, 12, 7), (Values{12003, 5003, 0, 0, 0, 300, 301}));
    EXPECT_EQ(read(&L::ReadSignedRegisters, 1, 0, 7),
              (Values{1, 0x1234, 0x5678, 0x9A01 - 0x10000, 0, 0, 0}));
    EXPECT_EQ(received(),
              (Lines{"rx :020400000014E6", "rx :0303000C0007E7", "rx :011E00000007DA"}));
    EXPECT_TRUE(portMessages.empty());

    // Only the configuration memory is read signed.
    for (const char* set : {"set-holding 1 14 0xFFFE", "set-input 1 19 40000"})
        ASSERT_EQ(sim.command(set), "ok");
    EXPECT_EQ(read(&L::ReadHoldingRegisters, 1, 14, 1), Values{65534});
    EXPECT_EQ(read(&L::ReadInputRegisters, 1, 19, 1), Values{40000});
    received();

    // Writes send exact frames and change the module.
    EXPECT_EQ(link.WriteRegister(2, 16, 5), tx::Ok);
    EXPECT_EQ(link.WriteCoil(2, 1, true), tx::Ok);
    EXPECT_EQ(link.ClearCounters(3, 0x05), tx::Ok);
    EXPECT_EQ(link.WriteRegisters(1, 100, 3, Values{1, -2, 70000}), tx::Ok);
    EXPECT_EQ(link.WriteText(1, 254, 11, "Test LCD 1 "), tx::Ok);
    EXPECT_EQ(received(), (Lines{"rx :020600100005E3", "rx :02050001FF00F9", "rx :030A0505E9",
                                 "rx :011F006400030001FFFE1170FA",
                                 "rx :012000FE000B54657374204C434420312000D2"}));
    // What they change in the module is seen in the bus tests.

    // A broadcast reaches every module and waits for no answer; on the serial
    // line it returns once the transmitter dropped: 17 characters at 9600 baud.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(link.WriteRegister(0, 16, 1), tx::Ok);
    EXPECT_LT(microsSince(start), 700'000);  // not the 800 ms receive time-out
    if (!tcp()) {
        EXPECT_GE(microsSince(start), 17708);
    }
    for (int a = 1; a <= 3; ++a) EXPECT_EQ(read(&L::ReadHoldingRegisters, a, 16, 1), Values{1});

    Diagn1Block d1{};
    EXPECT_EQ(link.ReadDiagn1(3, 0, d1), tx::Ok);
    EXPECT_EQ(std::vector<int>(d1.begin(), d1.begin() + 10),
              (std::vector<int>{0x25, 0x12, 0x34, 0x56, 0x78, 0x9A, 3, 120, 50, 0xA5}));
    Diagn2Block d2{};
    EXPECT_EQ(link.ReadDiagn2(2, 0, d2), tx::Ok);
    EXPECT_EQ(d2[0] * 100 + d2[29], 231);
    EXPECT_TRUE(logHas(">\tReadDiagn1 OK\r\n") && logHas(">\tReadDiagn2 OK\r\n"));
    EXPECT_TRUE(logHas(">\trx_sum OK, ") && logHas(" ms (33 B)\r\n"));  // 14 bytes: 33 characters

    // A silent module times out after the receive time-out (the serial
    // port's: 900 + 2 * 15 ms), once. Damaged answers: the scripted-peer tests.
    ASSERT_EQ(sim.command("mute 2"), "ok");
    const auto silent = std::chrono::steady_clock::now();
    EXPECT_EQ(readInputs(2), tx::NoAnswer);
    EXPECT_GE(microsSince(silent), tcp() ? 800'000 : 930'000);
    EXPECT_LT(microsSince(silent), 1'800'000);
    ASSERT_EQ(sim.command("unmute 2"), "ok");

    if (tcp()) {
        // The peer dropping the connection closes the link.
        ASSERT_EQ(sim.command("drop"), "ok");
        const int code = readInputs(1);
        EXPECT_TRUE(code == tx::PeerClosed || code == tx::SendFailed) << code;
        EXPECT_EQ(link.IsOpen(), 0);
        // A stopped network fails the next send.
        ASSERT_EQ(link.open_com(0, 0), open::Ok);
        link.InitNetwork(true);
        link.InitNetwork(false);
        EXPECT_EQ(link.NetworkStarted, 0);
        EXPECT_EQ(readInputs(1), tx::SendFailed);
        EXPECT_EQ(link.IsOpen(), 0);
    } else {
        EXPECT_NEAR(link.MicrosPerChar, 1041.67, 0.01);
        EXPECT_EQ(link.BaudRate, 9600);
        // Reopening an open port in record memory mode wakes the memory at 115200 baud.
        received();
        link.RecordMemoryMode = true;
        ASSERT_EQ(link.open_com(4, 9600), open::Ok);
        EXPECT_EQ(link.BaudRate, 115200);
        EXPECT_EQ(received(), (Lines{"rx :002100000000DF", "rx :002100000000DF"}));
        EXPECT_TRUE(logHas("open_COM4 OK, "));
    }
}

INSTANTIATE_TEST_SUITE_P(Transports, LinkOnSimulatedBus,
                         ::testing::Values(Transport::Tcp, Transport::Pty), [](const auto& info) {
                             return info.param == Transport::Tcp ? "Tcp" : "Pty";
                         });

}  // namespace
}  // namespace dkq
