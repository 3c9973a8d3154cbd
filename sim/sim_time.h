// The one clock of the simulator: a monotonic clock, so pacing and counters
// never jump when the wall clock is set.
#pragma once

#include <chrono>

namespace dkq::sim {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;
using Duration = Clock::duration;

}  // namespace dkq::sim
