// A module's answers to every function, through the bus as a client sees
// them: deterministic values, exception answers, state changes.
#include <gtest/gtest.h>

#include "sim/bus.h"
#include "tests/sim/frames.h"

namespace dkq::sim::test {
namespace {

const TimePoint Start{};

class ModuleAnswers : public ::testing::Test {
  protected:
    BusSettings settings() {
        BusSettings s;
        s.addresses = {1, 2, 3};
        s.deterministic = true;
        return s;
    }
    Bytes exchange(const Bytes& request) {
        return answerBytes(bus.takeLine(requestLine(request), Start).text);
    }
    NoRecordMemory recordMemory;
    Bus bus{settings(), recordMemory, Start};
};

struct Case {
    const char* name;
    Bytes request;
    Bytes answer;
};

class SingleRequest : public ModuleAnswers, public ::testing::WithParamInterface<Case> {};

TEST_P(SingleRequest, AnswersAsDocumented) {
    EXPECT_EQ(exchange(GetParam().request), GetParam().answer);
}

INSTANTIATE_TEST_SUITE_P(
    Reads, SingleRequest,
    ::testing::Values(
        Case{"sensors",
             {1, 4, 0, 0, 0, 4},
             {1, 4, 8, 0x0B, 0x7C, 0x0B, 0x7D, 0x0B, 0x7E, 0x0B, 0x7F}},
        Case{"voltages", {2, 4, 0, 4, 0, 2}, {2, 4, 4, 0x03, 0xEA, 0x04, 0xE4}},
        Case{"last voltage", {1, 4, 0, 15, 0, 1}, {1, 4, 2, 0x0E, 0xA7}},
        Case{"counters",
             {3, 4, 0, 16, 0, 4},
             {3, 4, 8, 0x01, 0x2C, 0x01, 0x2D, 0x01, 0x2E, 0x01, 0x2F}},
        Case{"outputs off", {1, 3, 0, 0, 0, 2}, {1, 3, 4, 0, 0, 0, 1}},
        Case{"supplies, output word, PWM",
             {1, 3, 0, 12, 0, 7},
             {1, 3, 14, 0x2E, 0xE1, 0x13, 0x89, 0, 0, 0, 0, 0, 0, 0, 100, 0, 101}},
        Case{"config head",
             {3, 30, 0, 0, 0, 4},
             {3, 30, 8, 0, 1, 0x12, 0x34, 0x56, 0x78, 0x9A, 0x03}},
        Case{"mode flags", {1, 30, 0, 6, 0, 1}, {1, 30, 2, 0, 0}},
        Case{"last config register", {1, 30, 0, 239, 0, 1}, {1, 30, 2, 0, 0}},
        Case{"diagnostics 1",
             {2, 8, 0, 0, 0, 0},
             {2, 8, 11, 0x25, 0x12, 0x34, 0x56, 0x78, 0x9A, 0x02, 120, 50, 0xA5, 0xB1}},
        Case{"diagnostics 2", {1, 9, 0, 0, 0, 0}, {1,  9,  30, 1,  2,  3,  4,  5,  6,  7,  8,
                                                   9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19,
                                                   20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30}}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

INSTANTIATE_TEST_SUITE_P(
    Writes, SingleRequest,
    ::testing::Values(
        Case{"coil on", {1, 5, 0, 3, 0xFF, 0}, {1, 5, 0, 3, 0xFF, 0}},
        Case{"coil off", {1, 5, 0, 11, 0, 0}, {1, 5, 0, 11, 0, 0}},
        Case{"holding", {1, 6, 0, 16, 0, 5}, {1, 6, 0, 16, 0, 5}},
        Case{"clear counters", {3, 10, 5, 5}, {3, 10, 5, 5}},
        Case{"config block", {1, 31, 0, 4, 0, 2, 0, 7, 0xFF, 0xFE}, {1, 31, 0, 4, 0, 2}},
        Case{"text with pad", {1, 32, 0, 254, 0, 3, 'a', 'b', 'c', 0}, {1, 32, 0, 254, 0, 3}}),
    [](const auto& info) { return std::to_string(info.index); });

INSTANTIATE_TEST_SUITE_P(
    Exceptions, SingleRequest,
    ::testing::Values(Case{"unknown function", {1, 7}, {1, 0x87, 1}},
                      Case{"function 16", {1, 16, 0, 0, 0, 1, 2, 0, 1}, {1, 0x90, 1}},
                      Case{"holding past 18", {1, 3, 0, 18, 0, 2}, {1, 0x83, 2}},
                      Case{"input past 19", {1, 4, 0, 19, 0, 2}, {1, 0x84, 2}},
                      Case{"config past 239", {1, 30, 0, 239, 0, 2}, {1, 0x9E, 2}},
                      Case{"count 0", {1, 4, 0, 0, 0, 0}, {1, 0x84, 3}},
                      Case{"count 126", {1, 30, 0, 0, 0, 126}, {1, 0x9E, 3}},
                      Case{"request cut short", {1, 3, 0, 0}, {1, 0x83, 3}},
                      Case{"coil 12", {1, 5, 0, 12, 0xFF, 0}, {1, 0x85, 2}},
                      Case{"coil value", {1, 5, 0, 1, 0x12, 0x34}, {1, 0x85, 3}},
                      Case{"holding 19", {1, 6, 0, 19, 0, 1}, {1, 0x86, 2}},
                      Case{"config values missing", {1, 31, 0, 0, 0, 2, 0, 1}, {1, 0x9F, 3}},
                      Case{
                          "config write past 239", {1, 31, 0, 239, 0, 2, 0, 1, 0, 2}, {1, 0x9F, 2}},
                      Case{"text past 255", {1, 32, 1, 0, 0, 1, 'x', 0}, {1, 0xA0, 2}},
                      Case{"text too long", {1, 32, 0, 0, 0, 247}, {1, 0xA0, 3}},
                      Case{"diagnostics sub 1", {1, 8, 0, 1, 0, 0}, {1, 0x88, 3}},
                      Case{"diagnostics 2 sub 2", {1, 9, 0, 2, 0, 0}, {1, 0x89, 3}}),
    [](const auto& info) { return std::to_string(info.index); });

TEST_F(ModuleAnswers, OutputVoltagesFollowTheOutputWord) {
    exchange({1, 5, 0, 3, 0xFF, 0});
    EXPECT_EQ(exchange({1, 3, 0, 2, 0, 2}), (Bytes{1, 3, 4, 0, 2, 0x2E, 0x7F}));  // 2, 11903
    exchange({1, 6, 0, 16, 0x08, 0x01});
    EXPECT_EQ(exchange({1, 3, 0, 0, 0, 1}), (Bytes{1, 3, 2, 0x2E, 0x7C}));   // 11900
    EXPECT_EQ(exchange({1, 3, 0, 3, 0, 1}), (Bytes{1, 3, 2, 0, 3}));         // off again
    EXPECT_EQ(exchange({1, 3, 0, 11, 0, 1}), (Bytes{1, 3, 2, 0x2E, 0x87}));  // 11911
    exchange({1, 5, 0, 0, 0, 0});
    EXPECT_EQ(exchange({1, 3, 0, 16, 0, 1}), (Bytes{1, 3, 2, 0x08, 0x00}));
}

TEST_F(ModuleAnswers, WritingAMeasuredOutputVoltageChangesNothing) {
    exchange({1, 6, 0, 2, 0x12, 0x34});
    EXPECT_EQ(exchange({1, 3, 0, 2, 0, 1}), (Bytes{1, 3, 2, 0, 2}));
}

TEST_F(ModuleAnswers, ConsoleValuesStayAsSet) {
    bus.module(1)->setHolding(0, 777);
    bus.module(1)->setInput(5, 42);
    exchange({1, 6, 0, 16, 0, 1});
    EXPECT_EQ(exchange({1, 3, 0, 0, 0, 1}), (Bytes{1, 3, 2, 0x03, 0x09}));
    EXPECT_EQ(exchange({1, 4, 0, 5, 0, 1}), (Bytes{1, 4, 2, 0, 42}));
}

TEST_F(ModuleAnswers, ClearCountersClearsOnlyTheMaskedOnes) {
    exchange({1, 10, 0x05, 0x05});
    EXPECT_EQ(exchange({1, 4, 0, 16, 0, 4}), (Bytes{1, 4, 8, 0, 0, 0, 101, 0, 0, 0, 103}));
    EXPECT_EQ(exchange({2, 4, 0, 16, 0, 1}), (Bytes{2, 4, 2, 0, 200}));
}

TEST_F(ModuleAnswers, ConfigWritesShowInReadsSerialNumberAndChecksum) {
    exchange({1, 31, 0, 1, 0, 3, 0xAB, 0xCD, 0x00, 0x01, 0x02, 0x03});
    exchange({1, 31, 0, 100, 0, 1, 0xFF, 0xFE});
    EXPECT_EQ(exchange({1, 30, 0, 100, 0, 1}), (Bytes{1, 30, 2, 0xFF, 0xFE}));
    // 01 + AB CD 00 01 02 03 + FF FE = 0x37C
    EXPECT_EQ(exchange({1, 8, 0, 0, 0, 0}),
              (Bytes{1, 8, 11, 0x25, 0xAB, 0xCD, 0x00, 0x01, 0x02, 0x03, 120, 50, 0xA5, 0x7C}));
    EXPECT_TRUE(bus.takeConfigChanged());
    EXPECT_FALSE(bus.takeConfigChanged());
}

TEST_F(ModuleAnswers, DisplayTextIsKeptAndInitialisedByStart254) {
    const auto writeText = [&](int start, std::string_view text) {
        Bytes request{
            1, 32, 0, static_cast<std::uint8_t>(start), 0, static_cast<std::uint8_t>(text.size())};
        request.insert(request.end(), text.begin(), text.end());
        if (text.size() % 2) request.push_back(0);
        return exchange(request);
    };
    writeText(0, "old text");
    writeText(254, "Test LCD 1 ");
    writeText(192, "Test linii 2 LCD");
    const std::string& display = bus.module(1)->displayText();
    ASSERT_EQ(display.size(), 256u);
    EXPECT_EQ(display.substr(0, 12), "Test LCD 1  ");
    EXPECT_EQ(display.substr(192, 16), "Test linii 2 LCD");
    writeText(250, "abcdefgh");  // runs past the last position
    EXPECT_EQ(display.substr(250), "abcdef");
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
    EXPECT_LE(module.holding(0), 20);
}

}  // namespace
}  // namespace dkq::sim::test
