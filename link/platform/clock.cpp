#include "link/platform/clock.h"

#include <chrono>
#include <thread>

namespace dkq::platform {

std::int64_t performanceCounter() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::int64_t performanceFrequency() {
    return 1'000'000'000;
}

void sleepMs(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void sleepMicros(double micros) {
    if (micros > 0)
        std::this_thread::sleep_for(
            std::chrono::nanoseconds(static_cast<std::int64_t>(micros * 1000.0)));
}

void localTime(std::time_t calendar, std::tm& out) {
#ifdef _WIN32
    localtime_s(&out, &calendar);
#else
    localtime_r(&calendar, &out);
#endif
}

}  // namespace dkq::platform
