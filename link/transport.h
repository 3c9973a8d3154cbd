// The line under the exchanges: a serial port with RS-485 direction control,
// or a TCP connection to a serial-to-Ethernet server. Transact and the text
// commands see only Transport; open_com is the one place that picks a kind.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "link/platform/receive_result.h"
#include "link/platform/serial_port.h"
#include "link/platform/tcp_socket.h"
#include "link/timing.h"

namespace dkq {

// How long an answer of a number of characters may take, counted from the
// end of sending.
struct AnswerWait {
    int startMs;  // for it to begin
    int wholeMs;  // in all, once it has begun
    int restMs;   // for the missing rest, after the grace pause of a short answer
};

class Transport {
  public:
    virtual ~Transport() = default;

    virtual bool isOpen() const = 0;
    virtual void close() = 0;
    // Discards what a late answer left on the line, then sends the text
    // whole. 0, or the system's error code; a TCP line is closed by it.
    virtual int send(std::span<const std::uint8_t> text) = 0;
    // Waits until characters arrive or the deadline passes and takes what
    // has come, at most into.size(). `awaited`: how many the exchange still
    // waits for (a serial line sleeps out their time on the wire instead of
    // waking for every character).
    virtual platform::ReceiveResult receive(std::span<std::uint8_t> into, int awaited,
                                            const Deadline& deadline) = 0;
    virtual AnswerWait answerWait(int characters) const = 0;
    // Text command answers shorter than this are not waited for (over TCP a
    // command sent expecting one byte, "*EOT!", waits for nothing).
    virtual int shortestAwaitedAnswer() const = 0;
};

// A connect attempt's outcome: an open_com code, and the system's error code when the
// peer refused or a step failed (0 when the time-out ended it).
struct ConnectAttempt {
    int code;
    int error;
};

class TcpTransport final : public Transport {
  public:
    // The receive time-out is read at every exchange: programs change it.
    explicit TcpTransport(const int& receiveTimeoutMs) : receiveTimeoutMs_(receiveTimeoutMs) {}

    ConnectAttempt connect(const platform::PeerAddress& peer, int timeoutMs);

    bool isOpen() const override { return socket_.isValid(); }
    void close() override { socket_.close(); }
    int send(std::span<const std::uint8_t> text) override;
    platform::ReceiveResult receive(std::span<std::uint8_t> into, int awaited,
                                    const Deadline& deadline) override;
    AnswerWait answerWait(int characters) const override;
    int shortestAwaitedAnswer() const override { return 2; }

  private:
    const int& receiveTimeoutMs_;
    platform::TcpSocket socket_;
    // The last receive may have left characters behind (the answer was not
    // whole, or more came): the next send discards them first.
    bool mayHoldLeftovers_ = true;
};

class SerialTransport final : public Transport {
  public:
    // 0, or the system's error code (see platform::errorText).
    int open(const std::string& device);
    // Speed and character format; the speed also times the transmitter.
    platform::PortSetupResult configure(int baud, int dataBits, int stopBits);
    // At rest the modules are listened to: DTR raised, RTS (the RS-485
    // transmit enable) low.
    void listen();
    // The record memory's wake-up line: twice, each copy followed by a
    // pause, the transmitter enabled throughout.
    void sendWakeUpLine(std::string_view line);
    void purgeReceive() { port_.purgeReceive(); }

    bool isOpen() const override { return port_.isOpen(); }
    void close() override { port_.close(); }
    int send(std::span<const std::uint8_t> text) override;
    platform::ReceiveResult receive(std::span<std::uint8_t> into, int awaited,
                                    const Deadline& deadline) override;
    AnswerWait answerWait(int characters) const override;
    int shortestAwaitedAnswer() const override { return 1; }

  private:
    int transmit(std::span<const std::uint8_t> text);

    platform::SerialPort port_;
    int baud_ = 0;
};

}  // namespace dkq
