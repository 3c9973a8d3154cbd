#include "link/platform/clock.h"

#include <chrono>
#include <thread>

#ifndef _WIN32
#include <time.h>
#include <cerrno>
#endif

namespace dkq::platform {

namespace {

constexpr std::int64_t kNanosPerSecond = 1'000'000'000;

}  // namespace

// Nanoseconds of the monotonic clock (CLOCK_MONOTONIC on POSIX, which
// sleepUntilCounter sleeps on).
std::int64_t performanceCounter() {
#ifdef _WIN32
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
#else
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * kNanosPerSecond + now.tv_nsec;
#endif
}

void sleepMs(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void sleepUntilCounter(std::int64_t counter) {
#ifdef _WIN32
    constexpr std::int64_t kSpinNanos = 1'000'000;
    const std::int64_t sleepNanos = counter - kSpinNanos - performanceCounter();
    if (sleepNanos > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(sleepNanos));
    while (performanceCounter() < counter) {
    }
#else
    const timespec at{static_cast<time_t>(counter / kNanosPerSecond),
                      static_cast<long>(counter % kNanosPerSecond)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
#endif
}

void localTime(std::time_t calendar, std::tm& out) {
#ifdef _WIN32
    localtime_s(&out, &calendar);
#else
    localtime_r(&calendar, &out);
#endif
}

}  // namespace dkq::platform
