// The conversation on one open line (a TCP connection or the pseudo-terminal):
// received characters become lines, lines become replies, and reply
// characters wait in time order until they are due to go out.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/line_handler.h"
#include "sim/line_splitter.h"
#include "sim/pacing.h"
#include "sim/sim_time.h"

namespace dkq::sim {

struct SessionSettings {
    PacingSettings pacing;
    int closeAfterAnswers = 0;  // close after the N-th answer; 0 = never
};

class Session {
  public:
    // A client that never reads cannot make the queue grow beyond this;
    // replies that do not fit are dropped.
    static constexpr size_t MaxQueuedCharacters = 64 * 1024;

    Session(LineHandler& lines, const SessionSettings& settings)
        : lines_(lines), pacing_(settings.pacing), closeAfterAnswers_(settings.closeAfterAnswers) {}

    // Characters read from the line at `now`.
    void receive(std::string_view chars, TimePoint now);

    // When the next queued character is due; nothing when the queue is empty.
    std::optional<TimePoint> nextDeparture() const;

    struct Due {
        std::string chars;
        bool closeAfter = false;  // the connection closes once these are written
    };
    // The queued characters due at `now`, up to a closing one.
    Due due(TimePoint now) const;
    // The first `count` due characters were written.
    void sent(size_t count);

  private:
    void queue(const Reply& reply, TimePoint requestEnd);

    struct Outgoing {
        TimePoint at;
        char c;
        bool closeAfter;
    };

    LineHandler& lines_;
    LineSplitter splitter_;
    Pacing pacing_;
    int closeAfterAnswers_;
    int answers_ = 0;
    std::deque<Outgoing> outgoing_;
    // When each character of the current read arrived. Kept from read to
    // read: a flood of characters without a line end costs no allocation per
    // read (the splitter drops an overlong line), so memory stays flat even
    // where freed blocks are held back, as in the sanitizer build.
    std::vector<TimePoint> arrivals_;
};

}  // namespace dkq::sim
