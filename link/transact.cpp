// One Modbus-ASCII exchange: send the request text, collect the answer text,
// judge it. The answer is taken as complete once the expected number of
// characters is in; waits never spin.
#include <string>

#include "common/cp1250.h"
#include "link/comm_log.h"
#include "link/log_text.h"
#include "link/modbus_ascii.h"
#include "link/module_link.h"
#include "link/platform/clock.h"

namespace dkq {
namespace {

constexpr int kAnswerStartedLimitMs = 1500;  // once a frame has begun
constexpr int kGraceMs = 50;                 // before the one extra read of a short answer
constexpr int kTimeoutsBeforeLineDead = 10;

std::span<const std::uint8_t> asBytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// The exception code when text holds, from startOffset, a whole exception
// answer to request (its address, its function code with bit 7 set, the
// code, a correct LRC); 0 otherwise.
int exceptionAnswered(std::string_view text, int startOffset,
                      std::span<const std::uint8_t> request) {
    constexpr std::uint8_t kExceptionBit = 0x80;
    std::array<std::uint8_t, 4> bytes{};  // address, function, code, LRC
    const auto decoded = modbus::decodeFrame(text, startOffset, bytes);
    const bool exception = decoded.code == tx::Ok && decoded.byteCount == 4 &&
                           bytes[0] == request[0] && bytes[1] == (request[1] | kExceptionBit);
    return exception ? bytes[2] : 0;
}

}  // namespace

// The answer text as received, bounded by the link's 512-character buffer.
struct ModuleLink::ReceivedText {
    std::array<char, modbus::FrameTextCapacity> chars{};
    int count = 0;
    int startOffset = 0;  // position of the frame's ':' (TCP may bring bytes before it)
    int elapsedMs = 0;

    std::span<std::uint8_t> freeSpace() {
        return {reinterpret_cast<std::uint8_t*>(chars.data()) + count, chars.size() - count};
    }
    std::string_view view() const { return {chars.data(), static_cast<size_t>(count)}; }
    // The text as the log shows it: up to the first NUL, bytes read as CP1250.
    std::string forLog() const {
        const std::string_view text = view();
        return cp1250ToUtf8(text.substr(0, text.find('\0')));
    }
    void noteFrameStart() {
        const auto colon = view().rfind(':');
        if (colon != std::string_view::npos) startOffset = static_cast<int>(colon);
    }
};

int ModuleLink::Transact(std::span<const std::uint8_t> request, AnswerFrame& answer,
                         int& expectedLen) {
    const int expectedBytes = expectedLen;
    expectedLen = 0;
    ExceptionCode = 0;
    if (!Connected) return tx::NotOpen;
    // Nothing that does not fit the frame buffers is ever sent.
    if (request.empty() || request.size() > static_cast<size_t>(modbus::MaxFrameBytes) ||
        expectedBytes < 0 || expectedBytes > modbus::MaxFrameBytes)
        return tx::BadLength;

    const std::string text = modbus::encodeFrame(request);
    const int expectedChars = modbus::frameTextLength(expectedBytes);
    const bool broadcast = request[0] == 0;
    ReceivedText rx;

    if (UseTcp) {
        if (!flushAndSend(asBytes(text))) return tx::SendFailed;
        if (broadcast) return tx::Ok;
        const int failure = receiveTcp(rx, expectedChars, request);
        if (failure != tx::Ok) return failure;
    } else {
        transmitSerial(asBytes(text));
        if (broadcast) return tx::Ok;
        receiveSerial(rx, expectedChars, request);
    }
    const int code = judgeAnswer(rx, expectedBytes, answer, expectedLen);
    if (code == tx::BadLength)
        ExceptionCode = exceptionAnswered(rx.view(), rx.startOffset, request);
    return code;
}

int ModuleLink::receiveTcp(ReceivedText& rx, int expectedChars,
                           std::span<const std::uint8_t> request) {
    bool startSeen = false;
    int limit = ReceiveTimeoutMs;
    socket_.setNonBlocking(true);
    Stopwatch(true);
    for (;;) {
        const bool full = rx.freeSpace().empty();
        if (!full) {
            const auto got = socket_.receive(rx.freeSpace());
            if (got.status == platform::ReceiveStatus::PeerClosed) {
                closeSocket();
                Connected = 0;
                CommLog("rcv: połączenie zostało zerwane");
                return tx::PeerClosed;
            }
            if (got.status == platform::ReceiveStatus::Failed) {
                // The link stays "open": the next send fails and closes it.
                CommLog(logText("Error at RCV socket(): %ld", static_cast<long>(got.error)));
                closeSocket();
                return tx::ReceiveError;
            }
            if (got.status == platform::ReceiveStatus::Data) {
                rx.count += got.count;
                if (!startSeen && rx.view().find(':') != std::string_view::npos) {
                    rx.noteFrameStart();
                    startSeen = true;
                }
            }
        }
        rx.elapsedMs = Stopwatch(false);
        if (rx.count >= expectedChars + rx.startOffset) break;
        // An exception answer is short by design: no more is coming.
        if (startSeen && exceptionAnswered(rx.view(), rx.startOffset, request) != 0) return tx::Ok;
        if (rx.count > 0 && rx.chars[static_cast<size_t>(rx.startOffset)] == ':')
            limit = kAnswerStartedLimitMs;
        if (rx.elapsedMs >= limit || full) break;
        socket_.waitReadable(limit - rx.elapsedMs);
    }
    if (rx.count < expectedChars + rx.startOffset) {
        platform::sleepMs(kGraceMs);
        const auto got = socket_.receive(rx.freeSpace());
        if (got.status == platform::ReceiveStatus::Data) rx.count += got.count;
    }
    return tx::Ok;
}

void ModuleLink::receiveSerial(ReceivedText& rx, int expectedChars,
                               std::span<const std::uint8_t> request) {
    Stopwatch(true);
    rx.count = port_.read(rx.freeSpace().first(static_cast<size_t>(expectedChars)));
    // A whole exception answer is short by design: no more is coming.
    if (rx.count > 0 && rx.count < expectedChars && rx.chars[0] == ':' &&
        exceptionAnswered(rx.view(), 0, request) == 0) {
        platform::sleepMs(kGraceMs);
        rx.count += port_.read(rx.freeSpace().first(static_cast<size_t>(expectedChars - rx.count)));
    }
    rx.elapsedMs = Stopwatch(false);
}

int ModuleLink::judgeAnswer(const ReceivedText& rx, int expectedBytes, AnswerFrame& answer,
                            int& expectedLen) {
    const int expectedChars = modbus::frameTextLength(expectedBytes);
    if (rx.count == 0) {
        ++TimeoutCount;
        if (TimeoutCount <= kTimeoutsBeforeLineDead) {
            CommLog(logText("rcv: Timeout (%d ms)", rx.elapsedMs));
            return tx::NoAnswer;
        }
        CommLog(logText("rcv: Timeout (%d ms), ZERWANE POŁĄCZENIE ***", rx.elapsedMs));
        return tx::LineDead;
    }
    if (rx.count < expectedChars + rx.startOffset) {
        CommLog(logText("rcv: wrong answer len (%d/%d), time=%d ms, data=%s", rx.count,
                        expectedChars, rx.elapsedMs, rx.forLog().c_str()));
        return tx::BadLength;
    }
    // A full-length answer proves the line alive, whatever the checks below say.
    TimeoutCount = 0;
    const auto decoded = modbus::decodeFrame(rx.view(), rx.startOffset, answer);
    if (decoded.code == tx::NoFrameStart) {
        CommLog(logText("rcv: wrong answer start (0x%02X), data=%s",
                        static_cast<unsigned char>(rx.chars[0]), rx.forLog().c_str()));
        return tx::NoFrameStart;
    }
    if (decoded.code != tx::Ok) {
        CommLog("rx_sum ERROR");
        return tx::LrcError;
    }
    // Characters after the frame's CR LF do not make a short frame whole: the
    // frame itself must carry the bytes asked for, its LRC right after them.
    if (decoded.byteCount != expectedBytes + 1) {
        CommLog(logText("rcv: wrong answer len (%d/%d), time=%d ms, data=%s",
                        modbus::frameTextLength(decoded.byteCount - 1), expectedChars, rx.elapsedMs,
                        rx.forLog().c_str()));
        return tx::BadLength;
    }
    expectedLen = decoded.byteCount;
    CommLog(logText("rx_sum OK, %d ms (%d B)", rx.elapsedMs, rx.count));
    return tx::Ok;
}

}  // namespace dkq
