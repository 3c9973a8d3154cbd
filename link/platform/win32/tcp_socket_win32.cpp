// TCP client socket on Windows Sockets 2.
#include <winsock2.h>

#include "link/platform/tcp_socket.h"

namespace dkq::platform {
namespace {

SOCKET asSocket(std::uintptr_t handle) { return static_cast<SOCKET>(handle); }

constexpr std::uintptr_t kNoSocket = static_cast<std::uintptr_t>(INVALID_SOCKET);

}  // namespace

int startNetwork() {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0 ? 0 : WSAGetLastError();
}

void stopNetwork() { WSACleanup(); }

int lastSocketError() { return WSAGetLastError(); }

TcpSocket::~TcpSocket() { close(); }

int TcpSocket::create() {
    close();
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return WSAGetLastError();
    handle_ = static_cast<std::uintptr_t>(s);
    return 0;
}

int TcpSocket::setNonBlocking(bool nonBlocking) {
    u_long mode = nonBlocking ? 1 : 0;
    return ioctlsocket(asSocket(handle_), FIONBIO, &mode) == 0 ? 0 : WSAGetLastError();
}

bool TcpSocket::isValid() const { return handle_ != kNoSocket; }

void TcpSocket::close() {
    if (handle_ != kNoSocket) closesocket(asSocket(handle_));
    handle_ = kNoSocket;
}

ConnectOutcome TcpSocket::connect(const std::string& ipAddress, int port, int timeoutMs) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = inet_addr(ipAddress.c_str());
    peer.sin_port = htons(static_cast<u_short>(port));
    ::connect(asSocket(handle_), reinterpret_cast<const sockaddr*>(&peer), sizeof peer);

    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(asSocket(handle_), &writable);
    FD_SET(asSocket(handle_), &failed);
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int ready = select(0, nullptr, &writable, &failed, &limit);
    if (ready <= 0) return ConnectOutcome::TimedOut;
    // Winsock reports a refused connect in the exception set.
    return FD_ISSET(asSocket(handle_), &writable) ? ConnectOutcome::Connected
                                                  : ConnectOutcome::Refused;
}

int TcpSocket::send(std::span<const std::uint8_t> bytes) {
    const int n = ::send(asSocket(handle_), reinterpret_cast<const char*>(bytes.data()),
                         static_cast<int>(bytes.size()), 0);
    return n == SOCKET_ERROR ? -1 : n;
}

ReceiveResult TcpSocket::receive(std::span<std::uint8_t> into) {
    if (into.empty()) return {ReceiveStatus::NothingYet, 0, 0};
    const int n = ::recv(asSocket(handle_), reinterpret_cast<char*>(into.data()),
                         static_cast<int>(into.size()), 0);
    if (n > 0) return {ReceiveStatus::Data, n, 0};
    if (n == 0) return {ReceiveStatus::PeerClosed, 0, 0};
    const int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) return {ReceiveStatus::NothingYet, 0, 0};
    return {ReceiveStatus::Failed, 0, error};
}

bool TcpSocket::waitReadable(int timeoutMs) {
    if (handle_ == kNoSocket) return false;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(asSocket(handle_), &readable);
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return select(0, &readable, nullptr, nullptr, &limit) > 0;
}

}  // namespace dkq::platform
