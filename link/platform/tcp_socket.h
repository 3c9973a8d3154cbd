// The TCP client socket of the link, and the socket library's start and stop.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "link/platform/receive_result.h"

namespace dkq::platform {

// Starts the socket library (WSAStartup on Windows, nothing elsewhere);
// returns 0 or the platform's error code.
int startNetwork();
void stopNetwork();

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

class TcpSocket {
  public:
    TcpSocket() = default;
    ~TcpSocket();
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // A stream socket of the address family; 0 or the platform's error code.
    int create(int family);
    // For the connect's own wait. No later call switches modes: each call
    // waits as long as it says (on POSIX the socket waits in a receive with
    // a time-out, and the calls that must not wait pass MSG_DONTWAIT).
    int setNonBlocking();
    bool isValid() const;
    // Closes and forgets the handle, so no later call can reach a descriptor
    // number the system has meanwhile given to something else.
    void close();

    // Starts a connect to the peer and waits until it completes or the
    // time-out ends. Needs a non-blocking socket of the peer's family.
    // Refused comes with the platform's error code in error.
    ConnectOutcome connect(const PeerAddress& peer, int timeoutMs, int& error);

    // Sends all bytes at once, never waiting: 0, or the platform's error
    // code (the would-block code when the system takes only a part).
    int send(std::span<const std::uint8_t> bytes);
    // Takes what has come, at most into.size(); NothingYet when nothing has.
    ReceiveResult receive(std::span<std::uint8_t> into);
    // The same, waiting up to timeoutMs for data (or the end of the
    // connection); where the system allows, in one call.
    ReceiveResult receive(std::span<std::uint8_t> into, int timeoutMs);

  private:
#ifdef _WIN32
    std::uintptr_t handle_ = ~std::uintptr_t{0};
#else
    int fd_ = -1;
    int receiveTimeoutMs_ = 0;  // the socket's SO_RCVTIMEO, set when it changes
#endif
};

}  // namespace dkq::platform
