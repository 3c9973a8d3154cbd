// Frames of the record memory: CRC, the frame check, dates and the item mask.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logger/record_frame.h"

namespace dkq::logger {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// A record frame of length L (e = L) with a correct CRC.
Bytes recordFrame(int length, std::uint8_t fill) {
    Bytes frame(static_cast<size_t>(length + CrcBytes), fill);
    frame[0] = 'R';
    sealFrame(frame);
    return frame;
}

TEST(AnswerCrc, MatchesTheModbusCheckValue) {
    EXPECT_EQ(AnswerCrc(bytesOf("123456789")), 0x4B37);
    EXPECT_EQ(AnswerCrc({}), 0xFFFF);
}

struct ValidateCase {
    const char* what;
    Bytes frame;
    char letter;
    int minLen;
    int received;
    int expected;
};

Bytes withByte(Bytes frame, size_t at, std::uint8_t value) {
    frame[at] = value;
    return frame;
}

Bytes zeroRecord(int length) {
    Bytes frame(static_cast<size_t>(length + CrcBytes), 0);
    frame[0] = 'R';
    frame[1] = static_cast<std::uint8_t>(length);
    return frame;
}

// A 'D' frame: CRC over bytes 2 .. e - 1.
Bytes dataFrame() {
    Bytes frame{'D', 6, 0x11, 0x22, 0x33, 0x44, 0, 0};
    const std::uint16_t crc = AnswerCrc(std::span(frame).subspan(2, 4));
    frame[6] = static_cast<std::uint8_t>(crc >> 8);
    frame[7] = static_cast<std::uint8_t>(crc & 0xFF);
    return frame;
}

TEST(ValidateAnswer, TellsEveryOutcome) {
    const Bytes record = recordFrame(30, 0x41);
    const Bytes status = withByte(recordFrame(29, 0x01), 0, 'S');
    const std::vector<ValidateCase> cases = {
        {"correct record", record, 'R', 30, 32, answer::Correct},
        {"correct status", status, 'S', 29, 31, answer::Correct},
        {"status of 30 bytes", status, 'S', 29, 30, answer::WrongLength},
        {"status starting with R", withByte(status, 0, 'R'), 'S', 29, 31, answer::UnknownFormat},
        {"frame of zero bytes only", Bytes(32, 0), 'R', 30, 32, answer::UnknownFormat},
        {"R, L and zeros", zeroRecord(30), 'R', 30, 32, answer::EmptyFrame},
        {"wrong CRC, data", withByte(record, 31, 0x00), 'R', 30, 32, answer::ChecksumError},
        {"damaged content", withByte(record, 10, 0x42), 'R', 30, 32, answer::ChecksumError},
        {"e below minLen", recordFrame(28, 0x41), 'R', 30, 32, answer::WrongLength},
        {"e beyond received", recordFrame(31, 0x41), 'R', 30, 32, answer::WrongLength},
        {"e negative as a signed byte", withByte(record, 1, 0x80), 'R', 30, 32,
         answer::WrongLength},
        {"nothing received", record, 'R', 30, 0, answer::WrongLength},
        {"correct data frame", dataFrame(), 'D', 6, 8, answer::Correct},
        {"data frame, zeros after byte 2", Bytes{'D', 6, 9, 0, 0, 0, 0, 0}, 'D', 6, 8,
         answer::EmptyFrame},
        {"data frame, wrong CRC", withByte(dataFrame(), 7, 0), 'D', 6, 8, answer::ChecksumError},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ValidateAnswer(c.frame, c.letter, c.minLen, c.received), c.expected) << c.what;
}

TEST(ValidateAnswer, NeverLooksBeyondTheBuffer) {
    // Claims more bytes than the buffer holds: judged on the bytes present.
    const Bytes record = recordFrame(30, 0x41);
    EXPECT_EQ(ValidateAnswer(std::span(record).first(20), 'R', 10, 4000), answer::WrongLength);
    EXPECT_EQ(ValidateAnswer(std::span(record).first(1), 'R', 0, 4000), answer::WrongLength);
    EXPECT_EQ(ValidateAnswer({}, 'R', 30, 32), answer::UnknownFormat);
}

TEST(RecordDate, DecodesThePackedFields) {
    const RecordDate d = decodeRecordDate({0x83, 0x49, 0x47, 0x02});
    EXPECT_EQ(d.year, 2024);
    EXPECT_EQ(d.month, 3);
    EXPECT_EQ(d.day, 9);
    EXPECT_EQ(d.hour, 9);
    EXPECT_EQ(d.minute, 7);
    EXPECT_EQ(d.second, 2);
    // Bits 7-6 of the seconds byte are not used.
    EXPECT_EQ(decodeRecordDate({0x83, 0x49, 0x47, 0xC2}).second, 2);
}

TEST(RecordDate, EmptyWhenTheDateBytesAreAllZeroOrAllOnes) {
    EXPECT_TRUE(isEmptyDate({0, 0, 0, 0x15}));
    EXPECT_TRUE(isEmptyDate({0xFF, 0xFF, 0xFF, 0}));
    EXPECT_FALSE(isEmptyDate({0, 0, 0x40, 0}));
    EXPECT_FALSE(isEmptyDate({0xFF, 0, 0xFF, 0}));
}

TEST(RecordDate, EarlierDayIgnoresTheTimeOfDay) {
    EXPECT_TRUE(isEarlierDay({2024, 3, 8, 23, 0, 0}, {2024, 3, 9, 0, 0, 0}));
    EXPECT_TRUE(isEarlierDay({2023, 12, 31, 0, 0, 0}, {2024, 1, 1, 0, 0, 0}));
    EXPECT_FALSE(isEarlierDay({2024, 3, 9, 0, 0, 0}, {2024, 3, 9, 23, 0, 0}));
    EXPECT_FALSE(isEarlierDay({2024, 3, 9, 0, 0, 0}, {}));
}

TEST(LoggedItemMask, ItemKIsBitKMinusOneLowestFirst) {
    LoggedItemMask mask{};
    for (int item : {1, 9, 17, 40}) setLogged(mask, item, true);
    EXPECT_EQ(mask, (LoggedItemMask{0x01, 0x01, 0x01, 0x00, 0x80}));
    EXPECT_TRUE(isLogged(mask, 40));
    EXPECT_FALSE(isLogged(mask, 2));
    EXPECT_FALSE(isLogged(mask, 41));
    EXPECT_EQ(recordLengthFor(mask), 18);
    setLogged(mask, 40, false);
    EXPECT_EQ(mask[4], 0);
}

}  // namespace
}  // namespace dkq::logger
