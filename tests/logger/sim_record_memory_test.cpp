// The simulated record memory on its own: what it answers, when, and how
// records are added while it runs.
#include <gtest/gtest.h>

#include "logger/record_frame.h"
#include "logger/status_answer.h"
#include "sim/record_memory.h"

namespace dkq::sim {
namespace {

using namespace std::chrono_literals;

std::span<const std::uint8_t> bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

logger::StatusAnswer statusOf(RecordMemory& memory, TimePoint now) {
    const std::string frame = memory.answerAt("*RD_0,0", now);
    EXPECT_EQ(logger::ValidateAnswer(bytes(frame), 'S', 29, static_cast<int>(frame.size())),
              logger::answer::Correct);
    return logger::decodeStatus(bytes(frame).first<logger::StatusFrameSize>());
}

std::uint32_t numberIn(const std::string& frame) {
    return static_cast<std::uint8_t>(frame[2]) | static_cast<std::uint8_t>(frame[3]) << 8;
}

class SimRecordMemory : public ::testing::Test {
  protected:
    RecordMemory awake(RecordMemorySettings settings) {
        RecordMemory memory(settings, start);
        memory.wakeUp();
        return memory;
    }
    TimePoint start = Clock::now();
};

TEST_F(SimRecordMemory, AnswersOnlyAfterTheWakeUpLine) {
    RecordMemory memory({}, start);
    EXPECT_EQ(memory.answerAt("*RD_0,0", start), "");
    memory.wakeUp();
    EXPECT_EQ(memory.answerAt("*RD_0,0", start).size(), 31u);
}

TEST_F(SimRecordMemory, AReadPastTheLastRecordGetsEmptyFrames) {
    RecordMemorySettings settings;
    settings.recordCount = 100;
    RecordMemory memory = awake(settings);
    const std::string answer = memory.answerAt("*RD_99,5", start);
    ASSERT_EQ(answer.size(), 5u * 20);
    const std::vector<int> expected = {logger::answer::Correct, logger::answer::Correct,
                                       logger::answer::EmptyFrame, logger::answer::EmptyFrame,
                                       logger::answer::EmptyFrame};
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(logger::ValidateAnswer(bytes(answer).subspan(i * 20, 20), 'R', 18, 20),
                  expected[i])
            << i;
    EXPECT_EQ(numberIn(answer.substr(20, 20)), 100u);
}

TEST_F(SimRecordMemory, IgnoresWhatItDoesNotUnderstand) {
    RecordMemory memory = awake({});
    for (const char* command :
         {"*EOT!", "*RD_1,0", "*RD_1,251", "*RD_x,1", "*RD_1", "*CLR=0,0", "*CK=25:00:00 01-01-24",
          "*CK=10:00:00 30-02-24", "*CK=10:00:00 01-01-24x", "*LG=2,0,60,0,0,0,0,0",
          "*LG=1,0,60,0,0,0,0,256", "*LG=1,0,60,0,0,0,0", "*XX"})
        EXPECT_EQ(memory.answerAt(command, start), "") << command;
}

TEST_F(SimRecordMemory, DamagedReadsComeFirst) {
    RecordMemorySettings settings;
    settings.recordCount = 5;
    settings.badChecksum[2] = 2;
    settings.badLetter[3] = -1;
    RecordMemory memory = awake(settings);
    const auto check = [&](const char* command) {
        const std::string frame = memory.answerAt(command, start);
        return logger::ValidateAnswer(bytes(frame), 'R', 18, static_cast<int>(frame.size()));
    };
    EXPECT_EQ(check("*RD_2,1"), logger::answer::ChecksumError);
    EXPECT_EQ(check("*RD_2,1"), logger::answer::ChecksumError);
    EXPECT_EQ(check("*RD_2,1"), logger::answer::Correct);
    for (int read = 0; read < 5; ++read) EXPECT_EQ(check("*RD_3,1"), logger::answer::UnknownFormat);
}

TEST_F(SimRecordMemory, LogsWhileRunningAndWrapsWhenCyclic) {
    RecordMemorySettings settings;
    settings.recordCount = 10;
    settings.wrapAt = 3;
    settings.cyclicBuffer = true;
    settings.loggingOn = true;
    settings.periodSeconds = 10;
    settings.moduleClock = std::chrono::sys_days{std::chrono::year{2025} / 1 / 2};
    RecordMemory memory = awake(settings);

    EXPECT_EQ(statusOf(memory, start + 25s).recordCount, 10);
    // Records 14 and 15 went into slots 4 and 5, dated by the module clock.
    const std::string frames = memory.answerAt("*RD_3,3", start + 25s);
    EXPECT_EQ(numberIn(frames.substr(0, 20)), 13u);
    EXPECT_EQ(numberIn(frames.substr(20, 20)), 14u);
    EXPECT_EQ(numberIn(frames.substr(40, 20)), 15u);
    const logger::RecordDate logged = logger::decodeRecordDate(
        {static_cast<std::uint8_t>(frames[46]), static_cast<std::uint8_t>(frames[47]),
         static_cast<std::uint8_t>(frames[48]), static_cast<std::uint8_t>(frames[49])});
    EXPECT_EQ(std::tie(logged.year, logged.month, logged.day, logged.minute, logged.second),
              std::make_tuple(2025, 1, 2, 0, 20));

    EXPECT_EQ(memory.answerAt("*CLR=1,0", start + 25s), "OK\r\n");
    EXPECT_EQ(statusOf(memory, start + 35s).recordCount, 1);
}

TEST_F(SimRecordMemory, SettingsChangeTheRecordLength) {
    RecordMemory memory = awake({});
    EXPECT_EQ(memory.answerAt("*LG=1,1,5,255,0,0,0,128", start), "OK\r\n");
    const logger::StatusAnswer s = statusOf(memory, start);
    EXPECT_EQ(s.recordLength, 10 + 2 * 9);
    EXPECT_TRUE(s.loggingOn);
    EXPECT_TRUE(s.cyclicBuffer);
    EXPECT_EQ(s.periodSeconds, 5);
    EXPECT_EQ(memory.answerAt("*CK=23:59:58 31-12-30", start), "OK\r\n");
    EXPECT_EQ(logger::moduleClockText(statusOf(memory, start + 3s)), "2031-01-01  0:00:01");
}

}  // namespace
}  // namespace dkq::sim
