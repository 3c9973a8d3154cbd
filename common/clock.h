// Wall-clock time and the cycles' own pauses, behind one interface so that
// tests can run a monitoring session fast. Socket and serial waits inside the
// link use real deadlines and do not go through here.
#pragma once

#include <ctime>

namespace dkq {

class Clock {
  public:
    virtual ~Clock() = default;
    virtual std::tm localNow() = 0;
    virtual void sleepMs(int ms) = 0;
};

// The real clock: local time of the system, sleeping on the calling thread.
class SystemClock : public Clock {
  public:
    std::tm localNow() override;
    void sleepMs(int ms) override;
};

}  // namespace dkq
