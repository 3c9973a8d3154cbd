// One open line to a client: its descriptor and the session on it.
#pragma once

#include <optional>

#include "sim/line_handler.h"
#include "sim/poll_set.h"
#include "sim/session.h"
#include "sim/unique_fd.h"

namespace dkq::sim {

class Port {
  public:
    // fd must be non-blocking.
    Port(UniqueFd fd, LineHandler& lines, const SessionSettings& settings)
        : fd_(std::move(fd)), session_(lines, settings) {}

    enum class Status { Open, PeerGone, CloseRequested };

    void preparePoll(PollSet& poll);
    Status afterPoll(const PollSet& poll, TimePoint now);
    std::optional<TimePoint> wakeUp() const;
    int fd() const { return fd_.get(); }

  private:
    Status readAvailable(TimePoint now);
    Status writeDue(TimePoint now);

    UniqueFd fd_;
    Session session_;
    size_t pollIndex_ = 0;
    bool writeBlocked_ = false;  // the peer is not reading: wait for POLLOUT
};

}  // namespace dkq::sim
