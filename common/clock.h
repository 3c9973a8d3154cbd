// Wall-clock time and the cycles' own pauses, behind one interface so that
// tests can run a monitoring session fast. Socket and serial waits inside the
// link use real deadlines and do not go through here.
#pragma once

#include <chrono>
#include <ctime>

namespace dkq {

using WallTime = std::chrono::system_clock::time_point;

// The instant as local time of the system, to the second.
std::tm localTimeOf(WallTime instant);

class Clock {
  public:
    virtual ~Clock() = default;
    virtual WallTime wallNow() = 0;
    std::tm localNow() { return localTimeOf(wallNow()); }
    virtual void sleepMs(int ms) = 0;
};

// The real clock: the system's time, sleeping on the calling thread.
class SystemClock : public Clock {
  public:
    WallTime wallNow() override;
    void sleepMs(int ms) override;
};

}  // namespace dkq
