#include "link/timing.h"

#include <climits>

#include "link/platform/clock.h"

namespace dkq {
namespace {

constexpr Nanos kNanosPerSecond = 1'000'000'000;
constexpr Nanos kBitsPerCharacter = 10;
constexpr int kSerialReadConstantMs = 900;
constexpr int kSerialReadPerCharacterMs = 2;

}  // namespace

int Deadline::msLeft(Nanos now) const {
    if (passed(now)) return 0;
    const Nanos ms = (at_ - now + NanosPerMs - 1) / NanosPerMs;
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

int Deadline::msLeft() const {
    return msLeft(platform::performanceCounter());
}

bool Deadline::passed() const {
    return passed(platform::performanceCounter());
}

Stopwatch::Stopwatch() : start_(platform::performanceCounter()) {}

int Stopwatch::elapsedMs(Nanos now) const {
    return static_cast<int>((now - start_) / NanosPerMs);
}

int Stopwatch::elapsedMs() const {
    return elapsedMs(platform::performanceCounter());
}

Nanos wireTime(int characters, int baud) {
    if (characters <= 0 || baud <= 0) return 0;
    return characters * kBitsPerCharacter * kNanosPerSecond / baud;
}

int serialReadLimitMs(int characters) {
    return kSerialReadConstantMs + kSerialReadPerCharacterMs * characters;
}

Nanos nextSlot(Nanos previous, Nanos interval, Nanos now) {
    if (interval <= 0) return now;
    Nanos next = previous + interval;
    if (next < now) next += (now - next + interval - 1) / interval * interval;
    return next;
}

}  // namespace dkq
