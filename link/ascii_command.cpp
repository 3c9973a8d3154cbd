// Text commands of the record memory: the command and a carriage return go
// out, raw answer bytes come back until the expected count or the time-outs.
#include <algorithm>
#include <string>

#include "link/module_link.h"

namespace dkq {

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
    if (!sendOnLine(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())))
        return 0;
    if (expectedLen < line_->shortestAwaitedAnswer()) return 0;
    if (clearAnswerText) AnswerText.fill(0);

    const int awaited =
        static_cast<int>(std::min(destination.size(), static_cast<size_t>(expectedLen)));
    const AnswerWait wait = line_->answerWait(awaited);
    const Stopwatch watch;
    Deadline deadline = watch.deadline(wait.startMs);
    int received = 0;
    while (received < awaited) {
        const auto got = line_->receive(destination.subspan(static_cast<size_t>(received)),
                                        awaited - received, deadline);
        if (lineFailure(got) != tx::Ok) return 0;
        if (got.status == platform::ReceiveStatus::Data) {
            received += got.count;
            deadline = watch.deadline(wait.wholeMs);
        }
        if (deadline.passed()) break;
    }
    trace(false, destination.first(static_cast<size_t>(received)));
    return received;
}

}  // namespace dkq
