#include "sim/poll_set.h"

#include <algorithm>

namespace dkq::sim {

void PollSet::wait(std::optional<TimePoint> deadline, const sigset_t& signals) {
    timespec timeout{};
    if (deadline) {
        const auto left = std::max(Duration::zero(), *deadline - Clock::now());
        const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timeout.tv_sec = static_cast<time_t>(nanos / 1'000'000'000);
        timeout.tv_nsec = static_cast<long>(nanos % 1'000'000'000);
    }
    // EINTR (a stop signal) and other failures end the turn; the loop checks why.
    ::ppoll(fds_.data(), fds_.size(), deadline ? &timeout : nullptr, &signals);
}

}  // namespace dkq::sim
