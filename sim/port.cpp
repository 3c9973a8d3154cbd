#include "sim/port.h"

#include <cerrno>

namespace dkq::sim {
namespace {

constexpr size_t ReadChunk = 512;

bool isTransient(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

}  // namespace

void Port::preparePoll(PollSet& poll) {
    pollIndex_ = poll.add(fd_.get(), static_cast<short>(POLLIN | (writeBlocked_ ? POLLOUT : 0)));
}

Port::Status Port::afterPoll(const PollSet& poll, TimePoint now) {
    if (poll.returned(pollIndex_) & (POLLIN | POLLHUP | POLLERR)) {
        if (readAvailable(now) == Status::PeerGone) return Status::PeerGone;
    }
    return writeDue(Clock::now());
}

std::optional<TimePoint> Port::wakeUp() const {
    if (writeBlocked_) return std::nullopt;
    return session_.nextDeparture();
}

Port::Status Port::readAvailable(TimePoint now) {
    char buffer[ReadChunk];
    const ssize_t n = ::read(fd_.get(), buffer, sizeof buffer);
    if (n == 0 || (n < 0 && !isTransient(errno))) return Status::PeerGone;
    if (n > 0) session_.receive(std::string_view(buffer, static_cast<size_t>(n)), now);
    return Status::Open;
}

Port::Status Port::writeDue(TimePoint now) {
    const auto due = session_.due(now);
    if (due.chars.empty()) return Status::Open;
    const ssize_t n = ::write(fd_.get(), due.chars.data(), due.chars.size());
    if (n < 0) {
        writeBlocked_ = isTransient(errno);
        return writeBlocked_ ? Status::Open : Status::PeerGone;
    }
    session_.sent(static_cast<size_t>(n));
    writeBlocked_ = static_cast<size_t>(n) < due.chars.size();
    if (due.closeAfter && !writeBlocked_) return Status::CloseRequested;
    return Status::Open;
}

}  // namespace dkq::sim
