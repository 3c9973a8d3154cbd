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

// "127.0.0.1:40123" or "[::1]:40123".
std::string endpointText(const sockaddr_storage& address) {
    char host[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        ::inet_ntop(AF_INET6, &v6.sin6_addr, host, sizeof host);
        return '[' + std::string(host) + "]:" + std::to_string(ntohs(v6.sin6_port));
    }
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    ::inet_ntop(AF_INET, &v4.sin_addr, host, sizeof host);
    return std::string(host) + ':' + std::to_string(ntohs(v4.sin_port));
}

// The first address of host, IPv4 or IPv6, at port.
bool resolve(const TcpEndpoint& endpoint, sockaddr_storage& address, socklen_t& length,
             std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(endpoint.port);
    if (const int status = ::getaddrinfo(endpoint.host.c_str(), port.c_str(), &hints, &found);
        status != 0) {
        error = endpoint.host + ": " + ::gai_strerror(status);
        return false;
    }
    length = found->ai_addrlen;
    std::memcpy(&address, found->ai_addr, length);
    ::freeaddrinfo(found);
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
    sockaddr_storage address{};
    socklen_t length = 0;
    if (!resolve(endpoint, address, length, error)) return nullptr;
    UniqueFd listener(::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const int on = 1;
    if (!listener || ::setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
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
