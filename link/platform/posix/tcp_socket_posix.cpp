// TCP client socket on POSIX sockets.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

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

int TcpSocket::create() {
    close();
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
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

ConnectOutcome TcpSocket::connect(const std::string& ipAddress, int port, int timeoutMs) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = inet_addr(ipAddress.c_str());
    peer.sin_port = htons(static_cast<std::uint16_t>(port));
    const int started = ::connect(fd_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    if (started != 0 && errno != EINPROGRESS) return ConnectOutcome::Refused;

    short revents = 0;
    if (pollFor(fd_, POLLOUT, timeoutMs, revents) <= 0) return ConnectOutcome::TimedOut;
    // Writable is not connected: a refused connection is writable too.
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
        return ConnectOutcome::Refused;
    return ConnectOutcome::Connected;
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
