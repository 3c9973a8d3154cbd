// The TCP line to a serial-to-Ethernet server. No call switches the socket's
// mode: the flush, the send and the receive of an exchange cost one system
// call each.
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
    if (outcome == platform::ConnectOutcome::Connected) return {open::Ok, 0};
    socket_.close();
    return {open::ConnectTimeout, outcome == platform::ConnectOutcome::Refused ? error : 0};
}

// Discards whatever a late answer left in the socket, then sends the text.
int TcpTransport::send(std::span<const std::uint8_t> text) {
    std::array<std::uint8_t, kFlushBytes> scratch;
    (void)socket_.receive(scratch);
    const int error = socket_.send(text);
    if (error != 0) socket_.close();
    return error;
}

platform::ReceiveResult TcpTransport::receive(std::span<std::uint8_t> into, int,
                                              const Deadline& deadline) {
    return socket_.receive(into, deadline.msLeft());
}

AnswerWait TcpTransport::answerWait(int) const {
    return {receiveTimeoutMs_, kAnswerStartedLimitMs, 0};
}

}  // namespace dkq
