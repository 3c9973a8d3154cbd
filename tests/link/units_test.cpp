// The link's pieces on their own: answer judging, time arithmetic from
// tables (nanoseconds in, literal answers out), the communication log's line
// format, time origin, silence when off.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "link/comm_log.h"
#include "link/log_file.h"
#include "link/modbus_ascii.h"
#include "link/module_link.h"
#include "link/result_codes.h"
#include "link/timing.h"
#include "tests/support/sim_process.h"

namespace dkq {
namespace {

// Request texts are seen exactly in the tests on the simulated bus.
TEST(Framing, AnswerJudgedLikeTheLink) {
    struct Case {
        const char* text;
        int startOffset;
        int code;
        int bytes;
    };
    const Case cases[] = {
        {":010300000013E9\r\n", 0, tx::Ok, 7},
        {":01030000001 3e9\r\n", 0, tx::LrcError, 0},  // blank is not a digit: sum breaks
        {"xy:010300000013E9\r\n", 2, tx::Ok, 7},       // bytes before the frame skipped
        {":010300000013E9", 0, tx::Ok, 7},             // end of text reads as NUL
        {":010300000013E9XX", 0, tx::LrcError, 0},     // digits not ended by a control char
        {":0103000000\r13E9\n", 0, tx::LrcError, 0},   // stops at CR: sum not zero
        {":\r\n", 0, tx::Ok, 0},
    };
    for (const auto& c : cases) {
        std::array<std::uint8_t, 256> bytes{};
        const auto result = modbus::decodeFrame(c.text, c.startOffset, bytes);
        EXPECT_EQ(result.code, c.code) << c.text;
        EXPECT_EQ(result.byteCount, c.bytes) << c.text;
    }
}

TEST(Framing, NeverWritesPastTheAnswerBuffer) {
    // 300 pairs of "00" with no line end: more bytes than the buffer holds.
    const std::string text = ":" + std::string(600, '0') + "\r\n";
    std::array<std::uint8_t, 8> small{};
    EXPECT_EQ(modbus::decodeFrame(text, 0, small).code, tx::LrcError);
    std::array<std::uint8_t, 256> full{};
    EXPECT_EQ(modbus::decodeFrame(text, 0, full).code, tx::LrcError);
}

constexpr Nanos kMs = 1'000'000;

TEST(Timing, DeadlinesAndStopwatch) {
    const Stopwatch watch(5 * kMs);
    const Deadline deadline = watch.deadline(800);  // at 805 ms
    // A part of a millisecond left counts whole.
    const struct {
        Nanos now;
        int msLeft;
        bool passed;
        int elapsedMs;
    } cases[] = {
        {5 * kMs, 800, false, 0},  {6 * kMs - 1, 800, false, 0}, {805 * kMs - 1, 1, false, 799},
        {805 * kMs, 0, true, 800}, {2000 * kMs, 0, true, 1995},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(deadline.msLeft(c.now), c.msLeft) << c.now;
        EXPECT_EQ(deadline.passed(c.now), c.passed) << c.now;
        EXPECT_EQ(watch.elapsedMs(c.now), c.elapsedMs) << c.now;
    }
}

TEST(Timing, WireTimeAndSerialReadLimit) {
    EXPECT_EQ(wireTime(17, 9600), 17'708'333);  // a request of 6 bytes at 9600 baud
    EXPECT_EQ(wireTime(87, 115200), 7'552'083);
    EXPECT_EQ(wireTime(17, 0) + wireTime(-1, 9600), 0);
    EXPECT_EQ(serialReadLimitMs(87), 1074);
}

// Slots of a one-second poll started at 0: on the grid, whatever the rounds
// took; a round that overran skips the slots it missed.
TEST(Timing, PollSlots) {
    const Nanos second = 1000 * kMs;
    const struct {
        Nanos previous, interval, now, next;
    } cases[] = {
        {0, second, 30 * kMs, second},
        {second, second, second + 999 * kMs, 2 * second},
        {second, second, 2 * second, 2 * second},        // due right now
        {second, second, 2 * second + 1, 3 * second},    // just missed
        {second, second, 4 * second + kMs, 5 * second},  // three slots skipped
        {7 * kMs, 0, 9 * kMs, 9 * kMs},                  // no grid: back to back
    };
    for (const auto& c : cases) EXPECT_EQ(nextSlot(c.previous, c.interval, c.now), c.next) << c.now;
}

TEST(CommLog, LineFormatMatchesTheTraceFileLayout) {
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 9;
    t.tm_min = 7;
    t.tm_sec = 2;
    EXPECT_EQ(formatCommLogLine(t, 1.2341, "rx_sum OK, 12 ms (17 B)"),
              "2024-03-05 9:07:02 (  1.234) >\trx_sum OK, 12 ms (17 B)\r\n");
    t.tm_hour = 23;
    EXPECT_EQ(formatCommLogLine(t, 1234.5678, "a\nb"),
              "2024-03-05 23:07:02 (1234.568) >\ta\r\nb\r\n");
}

TEST(CommLog, WrittenWhenOnFromTheOriginSetByTheFirstCallRestartedByAnEmptyTextAndRotated) {
    test::ScratchDir dir;
    resetCommLogOrigin();
    ModuleLink link;
    link.CommLog("");
    link.CommLog("close_com");
    link.close_com();
    EXPECT_FALSE(std::filesystem::exists(CommLogFileName));
    resetCommLogOrigin();
    link.LogEnabled = 1;
    link.CommLog("not written: sets the origin");
    EXPECT_FALSE(std::filesystem::exists(CommLogFileName));
    link.CommLog("first");
    link.CommLog("");
    link.CommLog("rcv: połączenie zostało zerwane");

    const std::string bytes = test::readFileBytes(CommLogFileName);
    EXPECT_EQ(bytes.find("not written"), std::string::npos);
    EXPECT_NE(bytes.find("(  0.000) >\tfirst\r\n"), std::string::npos);
    // Polish letters are written in Windows-1250: 'ł' is 0xB3, 'ą' 0xB9.
    EXPECT_NE(bytes.find("(  0.000) >\trcv: po\xB3\xB9"
                         "czenie zosta\xB3o zerwane\r\n"),
              std::string::npos);
    // A log that the next line would take past its bound starts afresh.
    std::filesystem::resize_file(CommLogFileName, LogRotationBytes - 20);
    link.CommLog("past the bound");
    EXPECT_EQ(std::filesystem::file_size("dkq_comm.log.1"), LogRotationBytes - 20);
}

}  // namespace
}  // namespace dkq
