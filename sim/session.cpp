#include "sim/session.h"

namespace dkq::sim {
namespace {

bool isLineEnd(char c) {
    return c == '\r' || c == '\n';
}

}  // namespace

// A request ends with its whole line end (CR LF), so the answer waits for
// the LF that follows the CR in the same batch.
void Session::receive(std::string_view chars, TimePoint now) {
    arrivals_.clear();
    for (size_t i = 0; i < chars.size(); ++i) arrivals_.push_back(pacing_.arrive(now));
    for (size_t i = 0; i < chars.size(); ++i) {
        const auto line = splitter_.take(chars[i]);
        if (!line) continue;
        size_t last = i;
        while (last + 1 < chars.size() && isLineEnd(chars[last + 1])) ++last;
        queue(lines_.takeLine(*line, arrivals_[last]), arrivals_[last]);
    }
}

void Session::queue(const Reply& reply, TimePoint requestEnd) {
    if (reply.text.empty()) return;
    if (outgoing_.size() + reply.text.size() > MaxQueuedCharacters) return;
    ++answers_;
    const bool close = reply.closeAfter || answers_ == closeAfterAnswers_;
    const auto times = pacing_.departures(requestEnd, reply.text.size());
    for (size_t i = 0; i < times.size(); ++i)
        outgoing_.push_back({times[i], reply.text[i], close && i + 1 == times.size()});
}

std::optional<TimePoint> Session::nextDeparture() const {
    if (outgoing_.empty()) return std::nullopt;
    return outgoing_.front().at;
}

Session::Due Session::due(TimePoint now) const {
    Due due;
    for (const auto& out : outgoing_) {
        if (out.at > now) break;
        due.chars.push_back(out.c);
        if (out.closeAfter) {
            due.closeAfter = true;
            break;
        }
    }
    return due;
}

void Session::sent(size_t count) {
    for (size_t i = 0; i < count && !outgoing_.empty(); ++i) outgoing_.pop_front();
}

}  // namespace dkq::sim
