#include "sim/pacing.h"

#include <algorithm>

namespace dkq::sim {

// Computed from the count each time, so rounding never accumulates.
Duration Pacing::characterTimes(size_t count) const {
    constexpr long long NanosPerSecond = 1'000'000'000;
    return std::chrono::duration_cast<Duration>(std::chrono::nanoseconds(
        static_cast<long long>(count) * BitsPerCharacter * NanosPerSecond / baud_));
}

TimePoint Pacing::arrive(TimePoint now) {
    if (baud_ == 0) return now;
    lineFreeAt_ = std::max(now, lineFreeAt_) + characterTimes(1);
    return lineFreeAt_;
}

std::vector<TimePoint> Pacing::departures(TimePoint requestEnd, size_t count) {
    const TimePoint start = std::max(requestEnd + delay_, lineFreeAt_);
    std::vector<TimePoint> times(count, start);
    if (baud_ != 0)
        for (size_t i = 0; i < count; ++i) times[i] = start + characterTimes(i + 1);
    if (count > 0) lineFreeAt_ = times.back();
    return times;
}

}  // namespace dkq::sim
