// TCP client socket on POSIX sockets.
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "link/platform/tcp_socket.h"

namespace dkq::platform {
namespace {

long long steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// poll() on one descriptor, resumed after signals with the time left.
int pollFor(int fd, short events, int timeoutMs, short& revents) {
    const long long deadline = steadyMs() + timeoutMs;
    for (;;) {
        pollfd pfd{fd, events, 0};
        const long long left = deadline - steadyMs();
        const int ready = poll(&pfd, 1, left > 0 ? static_cast<int>(left) : 0);
        if (ready < 0 && errno == EINTR) continue;
        revents = pfd.revents;
        return ready;
    }
}

}  // namespace

int startNetwork() {
    return 0;
}
void stopNetwork() {}

TcpSocket::~TcpSocket() {
    close();
}

std::vector<PeerAddress> resolve(const std::string& host, int port, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int failed = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    std::vector<PeerAddress> peers;
    if (failed != 0) {
        error = gai_strerror(failed);
        return peers;
    }
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        PeerAddress peer;
        if (a->ai_addrlen > peer.bytes.size()) continue;
        peer.family = a->ai_family;
        peer.length = static_cast<int>(a->ai_addrlen);
        std::memcpy(peer.bytes.data(), a->ai_addr, a->ai_addrlen);
        peers.push_back(peer);
    }
    freeaddrinfo(found);
    return peers;
}

int TcpSocket::create(int family) {
    close();
    fd_ = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd_ < 0) return errno;
    const int one = 1;
    // Frames are small and answered one at a time; do not let Nagle hold them.
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return 0;
}

int TcpSocket::setNonBlocking() {
    if (fd_ < 0) return EBADF;
    const int flags = fcntl(fd_, F_GETFL, 0);
    if (flags < 0) return errno;
    return fcntl(fd_, F_SETFL, flags | O_NONBLOCK) == 0 ? 0 : errno;
}

bool TcpSocket::isValid() const {
    return fd_ >= 0;
}

void TcpSocket::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    receiveTimeoutMs_ = 0;
}

ConnectOutcome TcpSocket::connect(const PeerAddress& peer, int timeoutMs, int& error) {
    sockaddr_storage address{};
    std::memcpy(&address, peer.bytes.data(), std::min(sizeof address, peer.bytes.size()));
    const int started = ::connect(fd_, reinterpret_cast<const sockaddr*>(&address),
                                  static_cast<socklen_t>(peer.length));
    error = errno;
    if (started != 0 && errno != EINPROGRESS) return ConnectOutcome::Refused;

    short revents = 0;
    if (pollFor(fd_, POLLOUT, timeoutMs, revents) <= 0) return ConnectOutcome::TimedOut;
    // Writable is not connected: a refused connection is writable too.
    socklen_t length = sizeof error;
    error = 0;
    if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (error != 0) return ConnectOutcome::Refused;
    // From here a receive waits in the call itself, bounded by SO_RCVTIMEO:
    // one system call for an answer that has yet to come.
    const int flags = fcntl(fd_, F_GETFL, 0);
    if (flags < 0 || fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        error = errno;
        return ConnectOutcome::Refused;
    }
    return ConnectOutcome::Connected;
}

int TcpSocket::send(std::span<const std::uint8_t> bytes) {
    if (fd_ < 0) return EBADF;
    ssize_t n;
    while ((n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT)) < 0 &&
           errno == EINTR) {
    }
    if (n < 0) return errno;
    return static_cast<size_t>(n) == bytes.size() ? 0 : EWOULDBLOCK;
}

namespace {

ReceiveResult receiveOnce(int fd, std::span<std::uint8_t> into, int flags) {
    if (fd < 0) return {ReceiveStatus::Failed, 0, EBADF};
    if (into.empty()) return {ReceiveStatus::NothingYet, 0, 0};
    const ssize_t n = ::recv(fd, into.data(), into.size(), flags);
    if (n > 0) return {ReceiveStatus::Data, static_cast<int>(n), 0};
    if (n == 0) return {ReceiveStatus::PeerClosed, 0, 0};
    // A time-out, or a signal: the caller's deadline decides what follows.
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return {ReceiveStatus::NothingYet, 0, 0};
    return {ReceiveStatus::Failed, 0, errno};
}

}  // namespace

ReceiveResult TcpSocket::receive(std::span<std::uint8_t> into) {
    return receiveOnce(fd_, into, MSG_DONTWAIT);
}

ReceiveResult TcpSocket::receive(std::span<std::uint8_t> into, int timeoutMs) {
    if (timeoutMs <= 0 || fd_ < 0) return receive(into);
    if (timeoutMs != receiveTimeoutMs_) {
        const timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        if (setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0)
            return {ReceiveStatus::Failed, 0, errno};
        receiveTimeoutMs_ = timeoutMs;
    }
    return receiveOnce(fd_, into, 0);
}

}  // namespace dkq::platform
