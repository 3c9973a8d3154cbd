// Lines out of received characters, and the timing of answers on a paced line.
#include <gtest/gtest.h>

#include "sim/line_splitter.h"
#include "sim/session.h"

namespace dkq::sim::test {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using Lines = std::vector<std::string>;

TEST(LineSplitter, SplitsAtCrOrLfSkipsEmptyLinesAndDropsOverlongOnes) {
    const std::string longest(LineSplitter::MaxLineLength, 'A');
    const std::pair<std::string, Lines> cases[] = {
        {":0103\r\n", {":0103"}},
        {"a\rb\rc", {"a", "b"}},
        {"\r\n\n\r", {}},
        {"x\n\ny\r\n", {"x", "y"}},
        {longest + "\r", {longest}},
        {longest + "BC\r:01\r", {":01"}},
        {std::string(100'000, 'A') + "\n*RD_0,0\r", {"*RD_0,0"}},
    };
    for (const auto& [chars, expected] : cases) {
        LineSplitter splitter;
        Lines lines;
        for (char c : chars)
            if (auto line = splitter.take(c)) lines.push_back(*line);
        EXPECT_EQ(lines, expected) << chars.substr(0, 20);
    }
}

// Answers every line with a fixed text and remembers when each line ended.
class FixedAnswer : public LineHandler {
  public:
    explicit FixedAnswer(std::string text) : text_(std::move(text)) {}
    Reply takeLine(std::string_view, TimePoint now) override {
        ends.push_back(now);
        return {text_, false};
    }
    std::vector<TimePoint> ends;

  private:
    std::string text_;
};

const TimePoint T0 = TimePoint{} + std::chrono::hours(1);

Duration charTimes(int count, int baud) {
    return std::chrono::duration_cast<Duration>(
        std::chrono::nanoseconds(10'000'000'000LL * count / baud));
}

SessionSettings paced(int baud, int delayMs = 0) {
    return {.pacing = {baud, milliseconds(delayMs)}};
}

// Request of 17 characters (CR LF included), answer of 87: the request ends
// 17 character times after it was handed over; the answer's characters leave
// one character time apart, starting `delay` after the request's end.
TEST(AnswerTiming, FollowsTheWireTime) {
    for (const auto& [baud, delayMs] : {std::pair{9600, 0}, {115200, 0}, {9600, 40}, {300, 5}}) {
        SCOPED_TRACE(baud);
        FixedAnswer handler(std::string(87, 'x'));
        Session session(handler, paced(baud, delayMs));
        session.receive(":010300000013E9\r\n", T0);
        ASSERT_EQ(handler.ends.size(), 1u);
        EXPECT_LT(abs(handler.ends[0] - (T0 + charTimes(17, baud))), microseconds(1));
        const TimePoint start = handler.ends[0] + milliseconds(delayMs);
        EXPECT_EQ(session.nextDeparture(), start + charTimes(1, baud));
        EXPECT_EQ(session.due(start).chars, "");
        EXPECT_EQ(session.due(start + charTimes(10, baud)).chars.size(), 10u);
        session.sent(10);
        EXPECT_EQ(session.nextDeparture(), start + charTimes(11, baud));
        EXPECT_EQ(session.due(start + charTimes(87, baud)).chars.size(), 77u);
    }
}

TEST(AnswerTiming, UnpacedAnswerGoesOutWholeAfterTheDelay) {
    FixedAnswer handler("answer");
    Session session(handler, paced(0, 50));
    session.receive(":01\r", T0);
    EXPECT_EQ(session.nextDeparture(), T0 + milliseconds(50));
    EXPECT_EQ(session.due(T0 + milliseconds(49)).chars, "");
    EXPECT_EQ(session.due(T0 + milliseconds(50)).chars, "answer");
}

TEST(AnswerTiming, ARequestInPiecesEndsWithItsLastCharacterAndAnswersQueue) {
    FixedAnswer handler(std::string(10, 'x'));
    Session session(handler, paced(1000));
    session.receive(":0", T0);
    session.receive("1\r:02\r", T0 + milliseconds(100));  // the line was idle meanwhile
    ASSERT_EQ(handler.ends.size(), 2u);
    const TimePoint requestsEnd = T0 + milliseconds(100) + charTimes(6, 1000);
    EXPECT_EQ(handler.ends[1], requestsEnd);
    // The second answer waits behind the first.
    EXPECT_EQ(session.due(requestsEnd + charTimes(10, 1000)).chars.size(), 10u);
    session.sent(10);
    EXPECT_EQ(session.nextDeparture(), requestsEnd + charTimes(11, 1000));
}

// Closing after the N-th answer or a closing reply is seen in the process
// tests.
TEST(SessionQueue, IsBounded) {
    FixedAnswer large(std::string(Session::MaxQueuedCharacters / 2 + 1, 'x'));
    Session neverRead(large, paced(0));
    neverRead.receive("a\rb\rc\r", T0);
    EXPECT_EQ(neverRead.due(T0).chars.size(), Session::MaxQueuedCharacters / 2 + 1);
}

}  // namespace
}  // namespace dkq::sim::test
