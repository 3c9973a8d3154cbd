// The link's time arithmetic, in one place: the stopwatch and the deadlines
// of every wait, characters' time on the wire, the serial port's read
// time-out, and the slots of a repeated poll. Times are nanoseconds of the
// performance counter (platform/clock.h); the functions that take `now` are
// pure, so a table can check them.
#pragma once

#include <cstdint>

namespace dkq {

using Nanos = std::int64_t;
inline constexpr Nanos NanosPerMs = 1'000'000;

// The moment a wait has to end.
class Deadline {
  public:
    explicit constexpr Deadline(Nanos at) : at_(at) {}
    // Whole milliseconds left, rounded up so that a wait for them never ends
    // early; 0 once the deadline has passed.
    int msLeft(Nanos now) const;
    int msLeft() const;
    bool passed(Nanos now) const { return now >= at_; }
    bool passed() const;
    Nanos at() const { return at_; }

  private:
    Nanos at_;
};

// Started when made. The time-outs of a wait count from its start, and the
// log's "%d ms" figures are its whole milliseconds.
class Stopwatch {
  public:
    Stopwatch();
    explicit constexpr Stopwatch(Nanos start) : start_(start) {}
    int elapsedMs(Nanos now) const;
    int elapsedMs() const;
    Deadline deadline(int ms) const { return Deadline(start_ + ms * NanosPerMs); }

  private:
    Nanos start_;
};

// Time on the wire of `characters` at `baud`, ten bits each (both character
// formats the link uses); 0 at an unknown speed.
Nanos wireTime(int characters, int baud);

// How long the serial port waits for `characters`: 900 ms plus 2 ms each.
int serialReadLimitMs(int characters);

// The first slot after `previous` on the grid of `interval` that is not in
// the past: a round that overran skips the slots it missed, and the rounds
// never drift by the time the exchanges take. An interval of 0 has no grid:
// the next round starts at once.
Nanos nextSlot(Nanos previous, Nanos interval, Nanos now);

}  // namespace dkq
