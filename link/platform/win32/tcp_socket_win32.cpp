// TCP client socket on Windows Sockets 2.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>

#include "link/platform/serial_port.h"
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

TcpSocket::~TcpSocket() { close(); }

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
        error = errorText(failed);
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
    const SOCKET s = ::socket(family, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return WSAGetLastError();
    handle_ = static_cast<std::uintptr_t>(s);
    return 0;
}

int TcpSocket::setNonBlocking() {
    u_long mode = 1;
    return ioctlsocket(asSocket(handle_), FIONBIO, &mode) == 0 ? 0 : WSAGetLastError();
}

bool TcpSocket::isValid() const { return handle_ != kNoSocket; }

void TcpSocket::close() {
    if (handle_ != kNoSocket) closesocket(asSocket(handle_));
    handle_ = kNoSocket;
}

ConnectOutcome TcpSocket::connect(const PeerAddress& peer, int timeoutMs, int& error) {
    sockaddr_storage address{};
    std::memcpy(&address, peer.bytes.data(), std::min(sizeof address, peer.bytes.size()));
    ::connect(asSocket(handle_), reinterpret_cast<const sockaddr*>(&address), peer.length);

    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(asSocket(handle_), &writable);
    FD_SET(asSocket(handle_), &failed);
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int ready = select(0, nullptr, &writable, &failed, &limit);
    if (ready <= 0) return ConnectOutcome::TimedOut;
    if (FD_ISSET(asSocket(handle_), &writable)) return ConnectOutcome::Connected;
    // Winsock reports a refused connect in the exception set.
    int length = sizeof error;
    error = 0;
    getsockopt(asSocket(handle_), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
    return ConnectOutcome::Refused;
}

int TcpSocket::send(std::span<const std::uint8_t> bytes) {
    if (handle_ == kNoSocket) return WSAENOTSOCK;
    const int n = ::send(asSocket(handle_), reinterpret_cast<const char*>(bytes.data()),
                         static_cast<int>(bytes.size()), 0);
    if (n == SOCKET_ERROR) return WSAGetLastError();
    return static_cast<size_t>(n) == bytes.size() ? 0 : WSAEWOULDBLOCK;
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

// Waits first, then receives: an answer is seldom there the moment its
// request has gone, and a receive tried before the wait would fail.
ReceiveResult TcpSocket::receive(std::span<std::uint8_t> into, int timeoutMs) {
    if (timeoutMs <= 0 || handle_ == kNoSocket) return receive(into);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(asSocket(handle_), &readable);
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    if (select(0, &readable, nullptr, nullptr, &limit) <= 0) return {ReceiveStatus::NothingYet};
    return receive(into);
}

}  // namespace dkq::platform
