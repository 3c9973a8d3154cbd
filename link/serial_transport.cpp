// The serial line: RS-485 direction control around every transmission, and
// reads that sleep while an answer is on its way.
#include <algorithm>

#include "link/platform/clock.h"
#include "link/transport.h"

namespace dkq {
namespace {

constexpr int kWakeUpPauseMs = 60;

}  // namespace

int SerialTransport::open(const std::string& device) {
    return port_.open(device);
}

platform::PortSetupResult SerialTransport::configure(int baud, int dataBits, int stopBits) {
    baud_ = baud;
    return port_.configure(baud, dataBits, stopBits);
}

void SerialTransport::listen() {
    port_.setDtr(true);
    port_.setRts(false);
}

void SerialTransport::sendWakeUpLine(std::string_view line) {
    const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(line.data()), line.size());
    port_.setRts(true);
    for (int copy = 0; copy < 2; ++copy) {
        (void)transmit(bytes);
        platform::sleepMs(kWakeUpPauseMs);
    }
    port_.setRts(false);
}

// The transmitter is enabled for exactly the time the characters need on the
// wire, then released so that the answer is heard.
int SerialTransport::send(std::span<const std::uint8_t> text) {
    port_.purgeReceive();
    port_.setRts(true);
    const int error = transmit(text);
    port_.setRts(false);
    return error;
}

// Writes the text and waits, without using the processor, until it has left:
// the system tells when its buffer is sent (a real UART), then a sleep lasts
// until the characters' time on the wire is over (for drivers that answer
// early, and pseudo-terminals), so that RTS drops punctually.
int SerialTransport::transmit(std::span<const std::uint8_t> text) {
    const Nanos start = platform::performanceCounter();
    const int error = port_.write(text);
    if (error != 0) return error;
    port_.waitSent();
    platform::sleepUntilCounter(start + wireTime(static_cast<int>(text.size()), baud_));
    return 0;
}

platform::ReceiveResult SerialTransport::receive(std::span<std::uint8_t> into, int awaited,
                                                 const Deadline& deadline) {
    int got = port_.read(into, deadline.msLeft());
    if (got < 0) {
        // A port that failed or hung up is a silent line: its wait is slept
        // out, not spun.
        platform::sleepUntilCounter(deadline.at());
        return {platform::ReceiveStatus::NothingYet};
    }
    if (got == 0) return {platform::ReceiveStatus::NothingYet};
    if (got < awaited && static_cast<size_t>(got) < into.size()) {
        // The rest is on its way: sleep out its time on the wire (not past the
        // deadline) and take it in one read instead of waking for every
        // character.
        platform::sleepUntilCounter(std::min(
            platform::performanceCounter() + wireTime(awaited - got, baud_), deadline.at()));
        got += std::max(port_.read(into.subspan(static_cast<size_t>(got)), 0), 0);
    }
    return {platform::ReceiveStatus::Data, got};
}

AnswerWait SerialTransport::answerWait(int characters) const {
    const int limit = serialReadLimitMs(characters);
    return {limit, limit, limit};
}

}  // namespace dkq
