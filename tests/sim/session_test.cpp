// Lines out of received characters, and the timing of answers on a paced line.
#include <gtest/gtest.h>

#include "sim/line_splitter.h"
#include "sim/session.h"

namespace dkq::sim::test {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

std::vector<std::string> split(std::string_view chars) {
    LineSplitter splitter;
    std::vector<std::string> lines;
    for (char c : chars)
        if (auto line = splitter.take(c)) lines.push_back(*line);
    return lines;
}

using Lines = std::vector<std::string>;

TEST(LineSplitter, SplitsAtCrOrLfAndSkipsEmptyLines) {
    EXPECT_EQ(split(":0103\r\n"), Lines{":0103"});
    EXPECT_EQ(split("a\rb\rc"), (Lines{"a", "b"}));
    EXPECT_EQ(split("\r\n\n\r"), Lines{});
    EXPECT_EQ(split("x\n\ny\r\n"), (Lines{"x", "y"}));
}

TEST(LineSplitter, DropsAnOverlongLineWhole) {
    const std::string longest(LineSplitter::MaxLineLength, 'A');
    EXPECT_EQ(split(longest + "\r"), Lines{longest});
    EXPECT_EQ(split(longest + "BC\r:01\r"), Lines{":01"});
    EXPECT_EQ(split(std::string(100'000, 'A') + "\n*RD_0,0\r"), Lines{"*RD_0,0"});
}

// Answers every line with a fixed text and remembers when each line ended.
class FixedAnswer : public LineHandler {
  public:
    explicit FixedAnswer(std::string text, bool close = false)
        : text_(std::move(text)), close_(close) {}
    Reply takeLine(std::string_view, TimePoint now) override {
        ends.push_back(now);
        return {text_, close_};
    }
    std::vector<TimePoint> ends;

  private:
    std::string text_;
    bool close_;
};

const TimePoint T0 = TimePoint{} + std::chrono::hours(1);

Duration charTimes(int count, int baud) {
    return std::chrono::duration_cast<Duration>(nanoseconds(10'000'000'000LL * count / baud));
}

SessionSettings paced(int baud, int delayMs = 0, int closeAfter = 0) {
    SessionSettings settings;
    settings.pacing = {baud, milliseconds(delayMs)};
    settings.closeAfterAnswers = closeAfter;
    return settings;
}

struct PacingCase {
    int baud;
    int delayMs;
};

class AnswerTiming : public ::testing::TestWithParam<PacingCase> {};

// Request of 17 characters (CR LF included), answer of 87: the request ends
// 17 character times after it was handed over; the answer's characters leave
// one character time apart, starting `delay` after the request's end.
TEST_P(AnswerTiming, FollowsTheWireTime) {
    const auto [baud, delayMs] = GetParam();
    FixedAnswer handler(std::string(87, 'x'));
    Session session(handler, paced(baud, delayMs));
    session.receive(":010300000013E9\r\n", T0);

    ASSERT_EQ(handler.ends.size(), 1u);
    const TimePoint requestEnd = handler.ends[0];
    EXPECT_LT(abs(requestEnd - (T0 + charTimes(17, baud))), microseconds(1));
    const TimePoint start = requestEnd + milliseconds(delayMs);
    EXPECT_EQ(session.nextDeparture(), start + charTimes(1, baud));
    EXPECT_EQ(session.due(start).chars, "");
    EXPECT_EQ(session.due(start + charTimes(10, baud)).chars.size(), 10u);
    session.sent(10);
    EXPECT_EQ(session.nextDeparture(), start + charTimes(11, baud));
    EXPECT_EQ(session.due(start + charTimes(87, baud)).chars.size(), 77u);
}

INSTANTIATE_TEST_SUITE_P(Rates, AnswerTiming,
                         ::testing::Values(PacingCase{9600, 0}, PacingCase{115200, 0},
                                           PacingCase{9600, 40}, PacingCase{300, 5}));

TEST(AnswerTiming, UnpacedAnswerGoesOutWholeAfterTheDelay) {
    FixedAnswer handler("answer");
    Session session(handler, paced(0, 50));
    session.receive(":01\r", T0);
    EXPECT_EQ(session.nextDeparture(), T0 + milliseconds(50));
    EXPECT_EQ(session.due(T0 + milliseconds(49)).chars, "");
    EXPECT_EQ(session.due(T0 + milliseconds(50)).chars, "answer");
}

TEST(AnswerTiming, RequestSentInPiecesEndsWithItsLastCharacter) {
    FixedAnswer handler("a");
    Session session(handler, paced(9600));
    session.receive(":0103", T0);
    session.receive("00\r", T0 + milliseconds(100));  // the line was idle meanwhile
    ASSERT_EQ(handler.ends.size(), 1u);
    EXPECT_LT(abs(handler.ends[0] - (T0 + milliseconds(100) + charTimes(3, 9600))),
              microseconds(1));
}

TEST(AnswerTiming, AnswerWaitsForTheLineToBeFree) {
    FixedAnswer handler(std::string(10, 'x'));
    Session session(handler, paced(1000));
    session.receive(":01\r:02\r", T0);  // second answer queues behind the first
    ASSERT_EQ(handler.ends.size(), 2u);
    EXPECT_EQ(session.due(T0 + charTimes(8 + 10, 1000)).chars.size(), 10u);
    session.sent(10);
    EXPECT_EQ(session.nextDeparture(), T0 + charTimes(8 + 11, 1000));
}

TEST(SessionClose, AfterTheNthAnswerOrAClosingReply) {
    FixedAnswer handler("ok");
    Session session(handler, paced(0, 0, 2));
    session.receive("a\rb\rc\r", T0);
    const auto due = session.due(T0);
    EXPECT_EQ(due.chars, "okok");
    EXPECT_TRUE(due.closeAfter);

    FixedAnswer closing("half", true);
    Session other(closing, paced(0));
    other.receive("a\r", T0);
    EXPECT_TRUE(other.due(T0).closeAfter);
}

TEST(SessionQueue, IsBoundedWhenTheClientNeverReads) {
    FixedAnswer handler(std::string(Session::MaxQueuedCharacters / 2 + 1, 'x'));
    Session session(handler, paced(0));
    session.receive("a\rb\rc\r", T0);
    EXPECT_EQ(session.due(T0).chars.size(), Session::MaxQueuedCharacters / 2 + 1);
}

}  // namespace
}  // namespace dkq::sim::test
