// Wire timing of a serial line at a given baud rate, 10 bits a character,
// shared by both directions like a half-duplex RS-485 pair; plus a fixed
// answer delay. Without a baud rate characters take no time.
#pragma once

#include <chrono>
#include <vector>

#include "sim/sim_time.h"

namespace dkq::sim {

struct PacingSettings {
    int baud = 0;  // 0 = unpaced
    std::chrono::milliseconds delay{0};
};

class Pacing {
  public:
    static constexpr int BitsPerCharacter = 10;

    explicit Pacing(const PacingSettings& settings)
        : baud_(settings.baud), delay_(settings.delay) {}

    // One character handed over at `now`: when its last bit has arrived.
    TimePoint arrive(TimePoint now);

    // When each of `count` answer characters has gone out, for a request
    // that ended at requestEnd. The answer starts `delay` after the request
    // and never before the line is free.
    std::vector<TimePoint> departures(TimePoint requestEnd, size_t count);

  private:
    Duration characterTimes(size_t count) const;

    int baud_;
    Duration delay_;
    TimePoint lineFreeAt_{};
};

}  // namespace dkq::sim
