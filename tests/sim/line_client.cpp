#include "tests/sim/line_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <utility>

namespace dkq::sim::test {
namespace {

long long nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

LineClient LineClient::tcp(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return LineClient(-1);
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return LineClient(fd);
}

LineClient LineClient::serial(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    if (fd < 0 || ::tcgetattr(fd, &settings) != 0) {
        if (fd >= 0) ::close(fd);
        return LineClient(-1);
    }
    ::cfmakeraw(&settings);
    settings.c_cflag = (settings.c_cflag & ~CSIZE) | CS7 | CSTOPB;
    ::cfsetspeed(&settings, B9600);
    ::tcsetattr(fd, TCSANOW, &settings);  // a pty may refuse parts of it: ignored
    ::tcflush(fd, TCIOFLUSH);
    return LineClient(fd);
}

LineClient::~LineClient() {
    if (fd_ >= 0) ::close(fd_);
}

LineClient::LineClient(LineClient&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), peerClosed_(other.peerClosed_) {}

bool LineClient::send(std::string_view text) {
    return ::write(fd_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

std::string LineClient::receive(std::string_view end, int timeoutMs) {
    std::string received;
    const long long deadline = nowMs() + timeoutMs;
    while (received.find(end) == std::string::npos) {
        const long long left = deadline - nowMs();
        pollfd pfd{fd_, POLLIN, 0};
        if (left <= 0 || ::poll(&pfd, 1, static_cast<int>(left)) <= 0) break;
        char buffer[512];
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0) {
            peerClosed_ = true;
            break;
        }
        received.append(buffer, static_cast<size_t>(n));
    }
    return received;
}

std::string LineClient::exchange(std::string_view requestLine, int timeoutMs) {
    if (!send(std::string(requestLine) + "\r\n")) return {};
    return receive("\n", timeoutMs);
}

}  // namespace dkq::sim::test
