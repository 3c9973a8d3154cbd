// The bus and its modules in process, as a client sees them through the
// line: answers to every function, what writes change, who answers a line,
// and the console that changes the modules.
#include <gtest/gtest.h>

#include "sim/console.h"
#include "sim/record_memory.h"
#include "tests/sim/frames.h"

namespace dkq::sim::test {
namespace {

const TimePoint Start{};

class BusTest : public ::testing::Test {
  protected:
    std::string send(const std::string& line) { return bus.takeLine(line, Start).text; }
    Bytes exchange(const Bytes& request) { return answerBytes(send(requestLine(request))); }
    std::string console(std::string_view line) {
        return runConsoleCommand(line, bus).acknowledgement;
    }
    // Each request with its answer; an empty one stands for the echo of a
    // write (its first six bytes at most).
    void expectAnswers(const std::vector<std::pair<Bytes, Bytes>>& steps) {
        for (size_t i = 0; i < steps.size(); ++i) {
            const auto& [request, answer] = steps[i];
            const Bytes echo(request.begin(),
                             request.begin() + std::min<size_t>(request.size(), 6));
            EXPECT_EQ(exchange(request), answer.empty() ? echo : answer) << "step " << i;
        }
    }

    RecordMemory recordMemory{{}, Start};
    Bus bus{deterministicBus({1, 2, 3}), recordMemory, Start};
};

TEST_F(BusTest, ModulesRefuseWhatTheyCannotDo) {
    // Exceptions (request/code): function, address past the end, count, short
    // request. The deterministic values are read through the link in its tests.
    for (const std::string refused :
         {"0107/1", "011000000001020001/1", "010300120002/2", "010400130002/2", "011E00EF0002/2",
          "010400000000/3", "011E0000007E/3", "01030000/3", "0105000CFF00/2", "010500011234/3",
          "010600130001/2", "011F000000020001/3", "011F00EF000200010002/2", "0120010000017800/2",
          "0120000000F7/3", "010800010000/3", "010900020000/3"}) {
        const Bytes request = hexBytes(refused.substr(0, refused.find('/')));
        const auto code = static_cast<std::uint8_t>(refused.back() - '0');
        EXPECT_EQ(exchange(request), (Bytes{1, static_cast<std::uint8_t>(request[1] | 0x80), code}))
            << refused;
    }
}

TEST_F(BusTest, WritesChangeWhatLaterReadsSee) {
    expectAnswers({
        {{1, 5, 0, 3, 0xFF, 0}, {}},                        // output 4 on
        {{1, 3, 0, 2, 0, 2}, {1, 3, 4, 0x2E, 0x7E, 0, 3}},  // off: 11902, on: 3
        {{1, 6, 0, 16, 0x08, 0x01}, {}},                    // outputs 1 and 12 only
        {{1, 3, 0, 0, 0, 1}, {1, 3, 2, 0, 0}},              // on: 0
        {{1, 3, 0, 3, 0, 1}, {1, 3, 2, 0x2E, 0x7F}},        // off again: 11903
        {{1, 3, 0, 11, 0, 1}, {1, 3, 2, 0, 11}},            // on: 11
        {{1, 5, 0, 0, 0, 0}, {}},                           // output 1 off
        {{1, 3, 0, 16, 0, 1}, {1, 3, 2, 0x08, 0x00}},
        {{1, 5, 0, 11, 0, 0}, {}},       // 12 off
        {{1, 6, 0, 2, 0x12, 0x34}, {}},  // a measured voltage: kept
        {{1, 3, 0, 2, 0, 1}, {1, 3, 2, 0x2E, 0x7E}},
        {{1, 10, 0x05, 0x05}, {}},  // clear C1 and C3
        {{1, 4, 0, 16, 0, 4}, {1, 4, 8, 0, 0, 0, 101, 0, 0, 0, 103}},
        {{2, 4, 0, 16, 0, 1}, {2, 4, 2, 0, 200}},           // other modules keep theirs
        {{1, 31, 0, 1, 0, 3, 0xAB, 0xCD, 0, 1, 2, 3}, {}},  // serial number
        {{1, 31, 0, 100, 0, 1, 0xFF, 0xFE}, {}},
        {{1, 30, 0, 100, 0, 1}, {1, 30, 2, 0xFF, 0xFE}},
        // checksum 01 + AB CD 00 01 02 03 + FF FE = 0x37C
        {{1, 8, 0, 0, 0, 0}, {1, 8, 11, 0x25, 0xAB, 0xCD, 0, 1, 2, 3, 120, 50, 0xA5, 0x7C}},
    });
    EXPECT_TRUE(bus.takeConfigChanged());
    EXPECT_FALSE(bus.takeConfigChanged());
}

TEST_F(BusTest, OnlyTheAddressedModuleAnswersAWholeFrame) {
    const std::string request = requestLine({1, 3, 0, 16, 0, 1});
    const std::string answer = modbus::encodeFrame(Bytes{1, 3, 2, 0, 0});
    std::string lower = request, badLrc = request;
    for (char& c : lower) c = static_cast<char>(std::tolower(c));
    badLrc.back() = badLrc.back() == '0' ? '1' : '0';
    const std::pair<std::string, std::string> cases[] = {
        {request, answer},
        {"\x7F#?::0" + request, answer},  // from the last colon
        {lower, answer},
        {badLrc, ""},
        {requestLine({1}), ""},
        {":", ""},
        {"hello", ""},
        {requestLine({9, 3, 0, 0, 0, 1}), ""},   // no such module
        {requestLine({0, 3, 0, 0, 0, 1}), ""},   // broadcast read
        {requestLine({0, 6, 0, 16, 0, 9}), ""},  // broadcast write
        {"*CK=09:07:02 05-03-24", ""},           // the record memory sleeps
        {":002100000000DF", ""},                 // until woken up
        {"*CK=09:07:02 05-03-24", "OK\r\n"},
    };
    for (const auto& [line, expected] : cases) EXPECT_EQ(send(line), expected) << line;
    for (int address : {1, 2, 3}) EXPECT_EQ(bus.module(address)->holding(OutputWordRegister), 9);
}

// The console sets values that stay as set, mutes, injects faults and ends
// the connection; malformed lines are refused without effect.
TEST_F(BusTest, Console) {
    for (const char* line :
         {"set-input 9 0 1", "set-input 1 20 1", "set-holding 1 19 1", "set-config 1 240 1",
          "set-config 1 0 65536", "set-config 1 0 -32769", "set-input 1 0", "set-input 1 0 1 2",
          "set-input 1 0 12x", "mute 9", "unmute x", "fault nope", "fault short:9", "drop now",
          "bogus", "SET-INPUT 1 0 1"})
        EXPECT_TRUE(console(line).starts_with("error ")) << line;
    EXPECT_EQ(exchange({1, 4, 0, 0, 0, 1}), (Bytes{1, 4, 2, 0x0B, 0x7C}));
    EXPECT_FALSE(bus.takeConfigChanged());
    for (const char* line : {"set-input 3 3 100", "set-holding 1 16 0x3", "set-holding 2 0 777",
                             "  set-config 3 239 -2 "})
        EXPECT_EQ(console(line), "ok") << line;
    expectAnswers({
        {{2, 6, 0, 16, 0, 1}, {}},  // would switch output 1 of module 2 on
        {{3, 4, 0, 3, 0, 1}, {3, 4, 2, 0, 100}},
        {{1, 3, 0, 0, 0, 2}, {1, 3, 4, 0, 0, 0, 1}},  // the output word applied
        {{2, 3, 0, 0, 0, 1}, {2, 3, 2, 0x03, 0x09}},  // 777
        {{3, 30, 0, 239, 0, 1}, {3, 30, 2, 0xFF, 0xFE}},
    });
    EXPECT_TRUE(bus.takeConfigChanged());

    const std::string request = requestLine({1, 3, 0, 16, 0, 1});
    EXPECT_EQ(console("mute 1"), "ok");
    EXPECT_EQ(send(requestLine({1, 6, 0, 16, 0, 7})), "");
    EXPECT_EQ(bus.module(1)->holding(OutputWordRegister), 7);  // taken all the same
    EXPECT_EQ(console("unmute 1") + console("fault silent:1"), "okok");
    EXPECT_EQ(send(request), "");
    EXPECT_EQ(console("clear-faults"), "ok");
    EXPECT_NE(send(request), "");
    EXPECT_TRUE(runConsoleCommand("drop", bus).drop);
    EXPECT_TRUE(runConsoleCommand("quit", bus).quit);
}

TEST(LiveModule, CountsOncePerSecondAndStaysNearItsValues) {
    Module module(2, false, 7, Start);
    module.setInput(FirstCounterRegister + 1, 500);
    module.advance(Start + std::chrono::milliseconds(3500));
    EXPECT_EQ(module.input(FirstCounterRegister), 203);
    EXPECT_EQ(module.input(FirstCounterRegister + 1), 503);
    module.advance(Start + std::chrono::milliseconds(4100));
    EXPECT_EQ(module.input(FirstCounterRegister), 204);
    for (int r = 0; r < TemperatureLineCount; ++r) EXPECT_NEAR(module.input(r), 2932 + r, 3);
    for (int r = TemperatureLineCount; r < LineCount; ++r)
        EXPECT_NEAR(module.input(r), 250 * r + 2, 5);
    EXPECT_NEAR(module.holding(UzRegister), 12000, 40);
    EXPECT_NEAR(module.holding(0), 11900, 40);  // off: pulled up near the supply
}

}  // namespace
}  // namespace dkq::sim::test
