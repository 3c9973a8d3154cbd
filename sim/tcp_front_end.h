// A serial-to-Ethernet server: one client at a time, raw characters; a new
// connection replaces the current one.
#pragma once

#include <memory>
#include <string>

#include "sim/front_end.h"
#include "sim/options.h"
#include "sim/port.h"
#include "sim/unique_fd.h"

namespace dkq::sim {

class TcpFrontEnd : public FrontEnd {
  public:
    // Nothing, with a reason in `error`, when the endpoint cannot be listened on.
    static std::unique_ptr<TcpFrontEnd> listen(const TcpEndpoint& endpoint, LineHandler& lines,
                                               const SessionSettings& settings, std::string& error);

    std::string where() const override { return where_; }
    void preparePoll(PollSet& poll) override;
    bool afterPoll(const PollSet& poll, TimePoint now) override;
    std::optional<TimePoint> wakeUp() const override;
    void drop() override;

  private:
    TcpFrontEnd(UniqueFd listener, std::string where, LineHandler& lines,
                const SessionSettings& settings)
        : listener_(std::move(listener)),
          where_(std::move(where)),
          lines_(lines),
          settings_(settings) {}
    void accept();

    UniqueFd listener_;
    std::string where_;
    LineHandler& lines_;
    SessionSettings settings_;
    size_t listenerIndex_ = 0;
    std::unique_ptr<Port> client_;
};

}  // namespace dkq::sim
