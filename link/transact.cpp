// One Modbus-ASCII exchange: send the request text, collect the answer text,
// judge it. The answer is taken as complete once the expected number of
// characters is in, or a whole exception answer; the line waits, never spins.
#include <string>

#include "common/cp1250.h"
#include "link/comm_log.h"
#include "link/log_text.h"
#include "link/modbus_ascii.h"
#include "link/module_link.h"
#include "link/platform/clock.h"

namespace dkq {
namespace {

constexpr int kGraceMs = 50;  // before the one extra read of a short answer
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
    int startOffset = 0;    // position of the frame's ':' (bytes may come before it)
    bool started = false;   // a ':' has come
    const Stopwatch watch;  // started when the answer is awaited
    // Read only for a log line: a clock read less on every exchange.
    int elapsedMs() const { return watch.elapsedMs(); }

    std::span<std::uint8_t> freeSpace() {
        return {reinterpret_cast<std::uint8_t*>(chars.data()) + count, chars.size() - count};
    }
    std::string_view view() const { return {chars.data(), static_cast<size_t>(count)}; }
    std::span<const std::uint8_t> bytes() const {
        return {reinterpret_cast<const std::uint8_t*>(chars.data()), static_cast<size_t>(count)};
    }
    // The text as the log shows it: up to the first NUL, bytes read as CP1250.
    std::string forLog() const {
        const std::string_view text = view();
        return cp1250ToUtf8(text.substr(0, text.find('\0')));
    }
    // Takes n more characters. The frame starts at the last ':' of the first
    // batch that holds one: what came before it is a late answer or noise.
    void take(int n) {
        count += n;
        if (started) return;
        const auto colon = view().rfind(':');
        if (colon == std::string_view::npos) return;
        startOffset = static_cast<int>(colon);
        started = true;
    }
    int missing(int expectedChars) const { return expectedChars + startOffset - count; }
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
    if (!sendOnLine(asBytes(text))) return tx::SendFailed;
    if (request[0] == 0) return tx::Ok;  // a broadcast is not answered
    ReceivedText rx;
    const int failure = receiveAnswer(rx, modbus::frameTextLength(expectedBytes), request);
    trace(false, rx.bytes());
    if (failure != tx::Ok) return failure;
    const int code = judgeAnswer(rx, expectedBytes, answer, expectedLen);
    if (code == tx::BadLength)
        ExceptionCode = exceptionAnswered(rx.view(), rx.startOffset, request);
    return code;
}

void ModuleLink::trace(bool sent, std::span<const std::uint8_t> characters) const {
    if (FrameTrace && !characters.empty())
        FrameTrace(sent, {reinterpret_cast<const char*>(characters.data()), characters.size()});
}

// A failed send is logged and closes the link.
bool ModuleLink::sendOnLine(std::span<const std::uint8_t> text) {
    trace(true, text);
    const int error = line_->send(text);
    if (error == 0) return true;
    CommLog(logText("send failed: %d", error));
    line_->close();
    Connected = 0;
    return false;
}

// tx::Ok, or the code of a receive that ended the connection. A peer that
// closed it closes the link; a failed receive closes the line but leaves the
// link "open", so that the next send fails and closes it.
int ModuleLink::lineFailure(const platform::ReceiveResult& got) {
    if (got.status == platform::ReceiveStatus::PeerClosed) {
        line_->close();
        Connected = 0;
        CommLog("rcv: połączenie zostało zerwane");
        return tx::PeerClosed;
    }
    if (got.status == platform::ReceiveStatus::Failed) {
        CommLog(logText("Error at RCV socket(): %ld", static_cast<long>(got.error)));
        line_->close();
        return tx::ReceiveError;
    }
    return tx::Ok;
}

// Collects the answer until the expected characters after the frame's start
// are in, a whole exception answer is, or the line's time-outs end. An
// answer that began but stays short gets a grace pause and one more read.
int ModuleLink::receiveAnswer(ReceivedText& rx, int expectedChars,
                              std::span<const std::uint8_t> request) {
    const AnswerWait wait = line_->answerWait(expectedChars);
    const Stopwatch& watch = rx.watch;
    Deadline deadline = watch.deadline(wait.startMs);
    bool exception = false;
    for (;;) {
        const auto got = line_->receive(rx.freeSpace(), rx.missing(expectedChars), deadline);
        if (const int failure = lineFailure(got); failure != tx::Ok) return failure;
        if (got.status == platform::ReceiveStatus::Data) rx.take(got.count);
        if (rx.missing(expectedChars) <= 0 || rx.freeSpace().empty()) break;
        if (rx.started) {
            deadline = watch.deadline(wait.wholeMs);
            // An exception answer is short by design: no more is coming.
            exception = exceptionAnswered(rx.view(), rx.startOffset, request) != 0;
        }
        if (exception || deadline.passed()) break;
    }
    if (rx.started && !exception && rx.missing(expectedChars) > 0 && !rx.freeSpace().empty()) {
        platform::sleepMs(kGraceMs);
        const int missing = rx.missing(expectedChars);
        const Deadline rest = Stopwatch().deadline(line_->answerWait(missing).restMs);
        const auto got = line_->receive(rx.freeSpace(), missing, rest);
        if (got.status == platform::ReceiveStatus::Data) rx.take(got.count);
    }
    return tx::Ok;
}

int ModuleLink::judgeAnswer(const ReceivedText& rx, int expectedBytes, AnswerFrame& answer,
                            int& expectedLen) {
    const int expectedChars = modbus::frameTextLength(expectedBytes);
    if (rx.count == 0) {
        ++TimeoutCount;
        if (TimeoutCount <= kTimeoutsBeforeLineDead) {
            CommLog(logText("rcv: Timeout (%d ms)", rx.elapsedMs()));
            return tx::NoAnswer;
        }
        CommLog(logText("rcv: Timeout (%d ms), ZERWANE POŁĄCZENIE ***", rx.elapsedMs()));
        return tx::LineDead;
    }
    if (rx.count < expectedChars + rx.startOffset) {
        CommLog(logText("rcv: wrong answer len (%d/%d), time=%d ms, data=%s", rx.count,
                        expectedChars, rx.elapsedMs(), rx.forLog().c_str()));
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
                        modbus::frameTextLength(decoded.byteCount - 1), expectedChars,
                        rx.elapsedMs(), rx.forLog().c_str()));
        return tx::BadLength;
    }
    expectedLen = decoded.byteCount;
    // Every good exchange's line: formatted only when it is written.
    if (LogEnabled) CommLog(logText("rx_sum OK, %d ms (%d B)", rx.elapsedMs(), rx.count));
    return tx::Ok;
}

}  // namespace dkq
