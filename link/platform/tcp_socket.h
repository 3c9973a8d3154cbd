// The TCP client socket of the link, and the socket library's start and stop.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace dkq::platform {

// Starts the socket library (WSAStartup on Windows, nothing elsewhere);
// returns 0 or the platform's error code.
int startNetwork();
void stopNetwork();

// The platform's error code of the last socket call (WSAGetLastError, errno).
int lastSocketError();

enum class ConnectOutcome { Connected, TimedOut, Refused };

// One address of a peer as the resolver gives it (a sockaddr of its family).
struct PeerAddress {
    int family = 0;
    int length = 0;
    std::array<unsigned char, 128> bytes{};  // the size of sockaddr_storage
};

// The addresses of host (a name, IPv4 or IPv6 address text) at port, in the
// resolver's order of preference; none, with the resolver's words in error,
// when the name is not known.
std::vector<PeerAddress> resolve(const std::string& host, int port, std::string& error);

enum class ReceiveStatus { Data, PeerClosed, NothingYet, Failed };

struct ReceiveResult {
    ReceiveStatus status;
    int count = 0;  // bytes stored when status is Data
    int error = 0;  // platform error code when status is Failed
};

class TcpSocket {
  public:
    TcpSocket() = default;
    ~TcpSocket();
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // A stream socket of the address family; 0 or the platform's error code.
    int create(int family);
    int setNonBlocking(bool nonBlocking);
    bool isValid() const;
    // Closes and forgets the handle, so no later call can reach a descriptor
    // number the system has meanwhile given to something else.
    void close();

    // Starts a connect to the peer and waits until it completes or the
    // time-out ends. Needs a non-blocking socket of the peer's family.
    // Refused comes with the platform's error code in error.
    ConnectOutcome connect(const PeerAddress& peer, int timeoutMs, int& error);

    // Bytes sent, or -1 (see lastSocketError).
    int send(std::span<const std::uint8_t> bytes);
    // One receive call; on a non-blocking socket NothingYet when no data.
    ReceiveResult receive(std::span<std::uint8_t> into);
    // Waits until data (or an end or error) can be received, at most
    // timeoutMs; true when the socket is readable.
    bool waitReadable(int timeoutMs);

  private:
#ifdef _WIN32
    std::uintptr_t handle_ = ~std::uintptr_t{0};
#else
    int fd_ = -1;
#endif
};

}  // namespace dkq::platform
