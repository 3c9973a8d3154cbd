// The simulated record memory on its own: what it ignores, and how records
// are added while it runs.
#include <gtest/gtest.h>

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

const TimePoint Start{};

TEST(SimRecordMemory, IgnoresWhatItDoesNotUnderstand) {
    RecordMemory memory({}, Start);
    memory.wakeUp();
    for (const char* command :
         {"*EOT!", "*RD_1,0", "*RD_1,251", "*RD_x,1", "*RD_1", "*CLR=0,0", "*CK=25:00:00 01-01-24",
          "*CK=10:00:00 30-02-24", "*CK=10:00:00 01-01-24x", "*LG=2,0,60,0,0,0,0,0",
          "*LG=1,0,60,0,0,0,0,256", "*LG=1,0,60,0,0,0,0", "*XX"})
        EXPECT_EQ(memory.answerAt(command, Start), "") << command;
}

TEST(SimRecordMemory, LogsWhileRunningWrapsWhenCyclicAndIsCleared) {
    RecordMemorySettings settings;
    settings.recordCount = 10;
    settings.wrapAt = 3;
    settings.cyclicBuffer = true;
    settings.loggingOn = true;
    settings.periodSeconds = 10;
    settings.moduleClock = std::chrono::sys_days{std::chrono::year{2025} / 1 / 2};
    RecordMemory memory(settings, Start);
    memory.wakeUp();

    EXPECT_EQ(statusOf(memory, Start + 25s).recordCount, 10);
    // Records 14 and 15 went into slots 4 and 5, dated by the module clock.
    const std::string frames = memory.answerAt("*RD_3,3", Start + 25s);
    ASSERT_EQ(frames.size(), 3u * 20);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(frames[20 * i + 2], 13 + i);
    const logger::RecordDate logged = logger::decodeRecordDate(
        {static_cast<std::uint8_t>(frames[46]), static_cast<std::uint8_t>(frames[47]),
         static_cast<std::uint8_t>(frames[48]), static_cast<std::uint8_t>(frames[49])});
    EXPECT_EQ(std::tie(logged.year, logged.month, logged.day, logged.minute, logged.second),
              std::make_tuple(2025, 1, 2, 0, 20));

    EXPECT_EQ(memory.answerAt("*CLR=1,0", Start + 25s), "OK\r\n");
    EXPECT_EQ(statusOf(memory, Start + 35s).recordCount, 1);
}

}  // namespace
}  // namespace dkq::sim
