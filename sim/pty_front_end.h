// A pseudo-terminal standing for the serial port of the bus: clients open the
// device the symbolic link points to, at any speed and character format.
#pragma once

#include <memory>
#include <string>

#include "sim/front_end.h"
#include "sim/port.h"
#include "sim/unique_fd.h"

namespace dkq::sim {

class PtyFrontEnd : public FrontEnd {
  public:
    // Nothing, with a reason in `error`, when no pseudo-terminal can be had
    // or `link` cannot be made. An existing symbolic link is replaced.
    static std::unique_ptr<PtyFrontEnd> open(const std::string& link, LineHandler& lines,
                                             const SessionSettings& settings, std::string& error);
    ~PtyFrontEnd() override;  // removes the link

    std::string where() const override { return "pty " + device_; }
    void preparePoll(PollSet& poll) override { port_.preparePoll(poll); }
    bool afterPoll(const PollSet& poll, TimePoint now) override;
    std::optional<TimePoint> wakeUp() const override { return port_.wakeUp(); }

  private:
    PtyFrontEnd(UniqueFd master, UniqueFd slave, std::string device, std::string link,
                LineHandler& lines, const SessionSettings& settings)
        : port_(std::move(master), lines, settings),
          heldSlave_(std::move(slave)),
          device_(std::move(device)),
          link_(std::move(link)) {}

    Port port_;
    // Kept open so the master never sees a hang-up between clients.
    UniqueFd heldSlave_;
    std::string device_;
    std::string link_;
};

}  // namespace dkq::sim
