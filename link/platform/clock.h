// Monotonic counter, sleeping and local time: what the link needs of the
// platform's clocks.
#pragma once

#include <cstdint>
#include <ctime>

namespace dkq::platform {

// The performance counter: nanoseconds of a monotonic clock.
std::int64_t performanceCounter();

void sleepMs(int ms);

// Sleeps until the performance counter reaches `counter`, waking punctually
// (an absolute monotonic sleep; on Windows, whose sleeps are coarse, the last
// millisecond is waited out on the counter).
void sleepUntilCounter(std::int64_t counter);

void localTime(std::time_t calendar, std::tm& out);

}  // namespace dkq::platform
