// The descriptors one turn of the event loop waits on.
#pragma once

#include <poll.h>
#include <signal.h>

#include <optional>
#include <vector>

#include "sim/sim_time.h"

namespace dkq::sim {

class PollSet {
  public:
    // Index to ask returned() with after wait().
    size_t add(int fd, short events) {
        fds_.push_back({fd, events, 0});
        return fds_.size() - 1;
    }
    short returned(size_t index) const {
        return index < fds_.size() ? fds_[index].revents : short{0};
    }

    // Waits for an event or the deadline (none: no limit) with `signals` as
    // the signal mask, so a blocked stop signal can only arrive here.
    void wait(std::optional<TimePoint> deadline, const sigset_t& signals);

  private:
    std::vector<pollfd> fds_;
};

}  // namespace dkq::sim
