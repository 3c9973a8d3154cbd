// A plain client of the simulator's line: a TCP connection or the
// pseudo-terminal opened like a serial port, without the module link.
#pragma once

#include <string>
#include <string_view>

namespace dkq::sim::test {

class LineClient {
  public:
    static LineClient tcp(int port);
    // Opened raw at 9600 baud, 7 data bits, 2 stop bits, as the programs do.
    static LineClient serial(const std::string& path);
    ~LineClient();
    LineClient(LineClient&& other) noexcept;
    LineClient(const LineClient&) = delete;
    LineClient& operator=(const LineClient&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    bool send(std::string_view text);
    // Characters received until `end` is among them, the peer closed, or
    // timeoutMs passed; peerClosed() tells which.
    std::string receive(std::string_view end = "\n", int timeoutMs = 1000);
    bool peerClosed() const { return peerClosed_; }
    // Sends a request line with CR LF and returns the answer up to its LF.
    std::string exchange(std::string_view requestLine, int timeoutMs = 1000);

  private:
    explicit LineClient(int fd) : fd_(fd) {}
    int fd_ = -1;
    bool peerClosed_ = false;
};

}  // namespace dkq::sim::test
