// The link's time arithmetic from tables: nanoseconds in, literal answers out.
#include <gtest/gtest.h>

#include "link/timing.h"

namespace dkq {
namespace {

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

}  // namespace
}  // namespace dkq
