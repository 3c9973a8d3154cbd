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
int lastSocketError() {
    return errno;
}

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

int TcpSocket::setNonBlocking(bool nonBlocking) {
    if (fd_ < 0) return EBADF;
    const int flags = fcntl(fd_, F_GETFL, 0);
    if (flags < 0) return errno;
    const int wanted = nonBlocking ? flags | O_NONBLOCK : flags & ~O_NONBLOCK;
    return fcntl(fd_, F_SETFL, wanted) == 0 ? 0 : errno;
}

bool TcpSocket::isValid() const {
    return fd_ >= 0;
}

void TcpSocket::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
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
    return error == 0 ? ConnectOutcome::Connected : ConnectOutcome::Refused;
}

int TcpSocket::send(std::span<const std::uint8_t> bytes) {
    if (fd_ < 0) {
        errno = EBADF;
        return -1;
    }
    const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    return n < 0 ? -1 : static_cast<int>(n);
}

ReceiveResult TcpSocket::receive(std::span<std::uint8_t> into) {
    if (fd_ < 0) return {ReceiveStatus::Failed, 0, EBADF};
    if (into.empty()) return {ReceiveStatus::NothingYet, 0, 0};
    ssize_t n;
    do {
        n = ::recv(fd_, into.data(), into.size(), 0);
    } while (n < 0 && errno == EINTR);
    if (n > 0) return {ReceiveStatus::Data, static_cast<int>(n), 0};
    if (n == 0) return {ReceiveStatus::PeerClosed, 0, 0};
    if (errno == EAGAIN || errno == EWOULDBLOCK) return {ReceiveStatus::NothingYet, 0, 0};
    return {ReceiveStatus::Failed, 0, errno};
}

bool TcpSocket::waitReadable(int timeoutMs) {
    if (fd_ < 0) return false;
    short revents = 0;
    return pollFor(fd_, POLLIN, timeoutMs < 0 ? 0 : timeoutMs, revents) > 0;
}

}  // namespace dkq::platform
