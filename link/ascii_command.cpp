// Text commands of the record memory: the command and a carriage return go
// out, raw answer bytes come back until the expected count or the time-outs.
#include <algorithm>
#include <string>

#include "link/comm_log.h"
#include "link/log_text.h"
#include "link/module_link.h"

namespace dkq {
namespace {

constexpr int kAnswerStartedLimitMs = 1500;

}  // namespace

int ModuleLink::AsciiCommand(std::string_view command, int expectedLen) {
    return asciiExchange(command, expectedLen, AnswerText, true);
}

int ModuleLink::AsciiCommandInto(std::string_view command, int expectedLen,
                                 std::span<std::uint8_t> destination) {
    // Never more than the destination holds, whatever the caller expects.
    const auto room = std::min(destination.size(), static_cast<size_t>(std::max(expectedLen, 0)));
    return asciiExchange(command, expectedLen, destination.first(room), false);
}

int ModuleLink::asciiExchange(std::string_view command, int expectedLen,
                              std::span<std::uint8_t> destination, bool clearAnswerText) {
    if (!RecordMemoryMode || !Connected) return 0;
    std::string text(command.substr(0, MaxAsciiCommandChars));
    text.push_back('\r');
    const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());

    if (!UseTcp) {
        if (transmitSerial(bytes) <= 0) return 0;
        const auto wanted =
            std::min(destination.size(), static_cast<size_t>(std::max(expectedLen, 0)));
        return port_.read(destination.first(wanted));
    }

    if (!flushAndSend(bytes)) return 0;
    if (expectedLen <= 1) return 0;
    if (clearAnswerText) AnswerText.fill(0);

    size_t received = 0;
    int limit = ReceiveTimeoutMs;
    socket_.setNonBlocking(true);
    Stopwatch(true);
    for (;;) {
        const auto got = socket_.receive(destination.subspan(received));
        const int elapsed = Stopwatch(false);
        if (got.status == platform::ReceiveStatus::PeerClosed) {
            closeSocket();
            Connected = 0;
            CommLog("rcv: połączenie zostało zerwane");
            return 0;
        }
        if (got.status == platform::ReceiveStatus::Failed) {
            CommLog(logText("Error at RCV socket(): %ld", static_cast<long>(got.error)));
            closeSocket();
            return 0;
        }
        if (got.status == platform::ReceiveStatus::Data) received += static_cast<size_t>(got.count);
        if (received >= static_cast<size_t>(expectedLen) || received == destination.size()) break;
        if (received > 0) limit = kAnswerStartedLimitMs;
        if (elapsed >= limit) break;
        socket_.waitReadable(limit - elapsed);
    }
    return static_cast<int>(received);
}

}  // namespace dkq
