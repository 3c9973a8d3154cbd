// The TCP line to a serial-to-Ethernet server. No call switches the socket's
// mode: an exchange costs a send and a waiting receive, as in the plainest
// blocking client; a flush of what a late answer left comes before the send
// only when the exchange before may have left something.
#include <array>

#include "link/result_codes.h"
#include "link/transport.h"

namespace dkq {
namespace {

constexpr int kAnswerStartedLimitMs = 1500;  // once an answer has begun
constexpr size_t kFlushBytes = 1024;

}  // namespace

ConnectAttempt TcpTransport::connect(const platform::PeerAddress& peer, int timeoutMs) {
    if (const int error = socket_.create(peer.family); error != 0)
        return {open::SocketFailed, error};
    if (const int error = socket_.setNonBlocking(); error != 0) {
        socket_.close();
        return {open::IoctlFailed, error};
    }
    int error = 0;
    const auto outcome = socket_.connect(peer, timeoutMs, error);
    mayHoldLeftovers_ = true;  // a server may greet, or pass on what the bus said before
    if (outcome == platform::ConnectOutcome::Connected) return {open::Ok, 0};
    socket_.close();
    return {open::ConnectTimeout, outcome == platform::ConnectOutcome::Refused ? error : 0};
}

// Discards whatever a late answer left in the socket, then sends the text.
int TcpTransport::send(std::span<const std::uint8_t> text) {
    if (mayHoldLeftovers_) {
        std::array<std::uint8_t, kFlushBytes> scratch;
        (void)socket_.receive(scratch);
    }
    mayHoldLeftovers_ = true;
    const int error = socket_.send(text);
    if (error != 0) socket_.close();
    return error;
}

// A receive that took exactly the characters still awaited, with room for
// more, emptied the socket: the answer is whole and nothing followed it.
platform::ReceiveResult TcpTransport::receive(std::span<std::uint8_t> into, int awaited,
                                              const Deadline& deadline) {
    const auto got = socket_.receive(into, deadline.msLeft());
    mayHoldLeftovers_ = got.status != platform::ReceiveStatus::Data || got.count != awaited ||
                        static_cast<size_t>(got.count) == into.size();
    return got;
}

AnswerWait TcpTransport::answerWait(int) const {
    return {receiveTimeoutMs_, kAnswerStartedLimitMs, 0};
}

}  // namespace dkq
