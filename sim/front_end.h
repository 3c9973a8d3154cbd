// A way characters reach the bus: the TCP server or the pseudo-terminal.
#pragma once

#include <optional>
#include <string>

#include "sim/poll_set.h"
#include "sim/sim_time.h"

namespace dkq::sim {

class FrontEnd {
  public:
    virtual ~FrontEnd() = default;
    // The words of the first output line, e.g. "tcp 127.0.0.1:40123".
    virtual std::string where() const = 0;
    virtual void preparePoll(PollSet& poll) = 0;
    // False on a failure that ends the simulator.
    virtual bool afterPoll(const PollSet& poll, TimePoint now) = 0;
    // When characters are next due to go out.
    virtual std::optional<TimePoint> wakeUp() const = 0;
    // Closes the current client connection, where there is one.
    virtual void drop() {}
};

}  // namespace dkq::sim
