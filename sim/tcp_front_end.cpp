#include "sim/tcp_front_end.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace dkq::sim {
namespace {

constexpr int Backlog = 4;

std::string endpointText(const sockaddr_in& address) {
    char host[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, host, sizeof host);
    return std::string(host) + ':' + std::to_string(ntohs(address.sin_port));
}

bool resolve(const std::string& host, int port, sockaddr_in& address, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    if (const int status = ::getaddrinfo(host.c_str(), nullptr, &hints, &found); status != 0) {
        error = host + ": " + ::gai_strerror(status);
        return false;
    }
    std::memcpy(&address, found->ai_addr, sizeof address);
    ::freeaddrinfo(found);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return true;
}

// Reads what the client still sent before closing: closing a socket with
// unread data resets the connection, and the client could lose the
// characters sent to it last.
void closeGently(std::unique_ptr<Port>& client) {
    if (!client) return;
    constexpr int MaxDrainReads = 64;
    char scratch[512];
    for (int i = 0; i<MaxDrainReads&& ::read(client->fd(), scratch, sizeof scratch)> 0; ++i) {
    }
    client.reset();
}

}  // namespace

std::unique_ptr<TcpFrontEnd> TcpFrontEnd::listen(const TcpEndpoint& endpoint, LineHandler& lines,
                                                 const SessionSettings& settings,
                                                 std::string& error) {
    sockaddr_in address{};
    if (!resolve(endpoint.host, endpoint.port, address, error)) return nullptr;
    UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const int on = 1;
    socklen_t length = sizeof address;
    if (!listener || ::setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener.get(), Backlog) != 0 ||
        ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        error = "tcp " + endpoint.host + ':' + std::to_string(endpoint.port) + ": " +
                std::strerror(errno);
        return nullptr;
    }
    return std::unique_ptr<TcpFrontEnd>(
        new TcpFrontEnd(std::move(listener), "tcp " + endpointText(address), lines, settings));
}

void TcpFrontEnd::preparePoll(PollSet& poll) {
    listenerIndex_ = poll.add(listener_.get(), POLLIN);
    if (client_) client_->preparePoll(poll);
}

bool TcpFrontEnd::afterPoll(const PollSet& poll, TimePoint now) {
    if (client_ && client_->afterPoll(poll, now) != Port::Status::Open) closeGently(client_);
    if (poll.returned(listenerIndex_) & POLLIN) accept();
    return true;
}

std::optional<TimePoint> TcpFrontEnd::wakeUp() const {
    return client_ ? client_->wakeUp() : std::nullopt;
}

void TcpFrontEnd::drop() {
    closeGently(client_);
}

void TcpFrontEnd::accept() {
    UniqueFd connection(::accept4(listener_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!connection) return;
    // Paced characters go out one by one; Nagle's algorithm would bunch them.
    const int on = 1;
    ::setsockopt(connection.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    closeGently(client_);
    client_ = std::make_unique<Port>(std::move(connection), lines_, settings_);
}

}  // namespace dkq::sim
