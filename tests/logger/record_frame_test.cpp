// Frames of the record memory: CRC, the frame check, the status
// answer's layout and the figures shown from it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logger/status_answer.h"

namespace dkq::logger {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A record frame of length L (e = L) with a correct CRC.
Bytes recordFrame(int length, std::uint8_t fill) {
    Bytes frame(static_cast<size_t>(length + CrcBytes), fill);
    frame[0] = 'R';
    sealFrame(frame);
    return frame;
}

Bytes with(Bytes frame, size_t at, std::uint8_t value) {
    frame[at] = value;
    return frame;
}

TEST(ValidateAnswer, TellsEveryOutcome) {
    const std::string checkValue = "123456789";
    EXPECT_EQ(AnswerCrc(Bytes(checkValue.begin(), checkValue.end())), 0x4B37);
    const Bytes record = recordFrame(30, 0x41);
    const Bytes status = with(recordFrame(29, 0x01), 0, 'S');
    Bytes zeroRecord(32, 0);  // R, L and zeros
    zeroRecord[0] = 'R';
    zeroRecord[1] = 30;
    Bytes data{'D', 6, 0x11, 0x22, 0x33, 0x44, 0, 0};  // CRC over bytes 2 .. e - 1
    const std::uint16_t crc = AnswerCrc(std::span(data).subspan(2, 4));
    data[6] = static_cast<std::uint8_t>(crc >> 8);
    data[7] = static_cast<std::uint8_t>(crc & 0xFF);
    // What, frame, letter, minLen, bytes received, outcome.
    const std::tuple<const char*, Bytes, char, int, int, int> cases[] = {
        {"correct record", record, 'R', 30, 32, answer::Correct},
        {"correct status", status, 'S', 29, 31, answer::Correct},
        {"status of 30 bytes", status, 'S', 29, 30, answer::WrongLength},
        {"status starting with R", with(status, 0, 'R'), 'S', 29, 31, answer::UnknownFormat},
        {"frame of zero bytes only", Bytes(32, 0), 'R', 30, 32, answer::UnknownFormat},
        {"R, L and zeros", zeroRecord, 'R', 30, 32, answer::EmptyFrame},
        {"wrong CRC", with(record, 31, 0x00), 'R', 30, 32, answer::ChecksumError},
        {"damaged content", with(record, 10, 0x42), 'R', 30, 32, answer::ChecksumError},
        {"e below minLen", recordFrame(28, 0x41), 'R', 30, 32, answer::WrongLength},
        {"e beyond received", recordFrame(31, 0x41), 'R', 30, 32, answer::WrongLength},
        {"e negative as a signed byte", with(record, 1, 0x80), 'R', 30, 32, answer::WrongLength},
        {"nothing received", record, 'R', 30, 0, answer::WrongLength},
        {"correct data frame", data, 'D', 6, 8, answer::Correct},
        {"data frame, zeros after byte 2", Bytes{'D', 6, 9, 0, 0, 0, 0, 0}, 'D', 6, 8,
         answer::EmptyFrame},
        {"data frame, wrong CRC", with(data, 7, 0), 'D', 6, 8, answer::ChecksumError},
        // More claimed than the buffer holds: judged on the bytes present.
        {"20 bytes of 4000", Bytes(record.begin(), record.begin() + 20), 'R', 10, 4000,
         answer::WrongLength},
        {"1 byte of 4000", Bytes{'R'}, 'R', 0, 4000, answer::WrongLength},
        {"no bytes", Bytes{}, 'R', 30, 32, answer::UnknownFormat},
    };
    for (const auto& [what, frame, letter, minLen, received, outcome] : cases)
        EXPECT_EQ(ValidateAnswer(frame, letter, minLen, received), outcome) << what;
}

// Record dates are seen in the download tests: the packed fields in every
// row, empty dates in zero-dated and erased records, earlier days in a
// cyclic memory.
TEST(StatusAnswer, DecodesEveryFieldOfAFrameWrittenOutByteByByte) {
    std::array<std::uint8_t, StatusFrameSize> frame = {
        'S',  29,   '1',  '7',  30,   0,                 // letter, e, version, L
        0x10, 0x27, 0x01, 0,    0,    16,   0x00, 0x10,  // N = 75536, unused, b = 16, B = 4096
        37,   0x81, 0x0F, 0x00, 0x01, 0x00, 0x80,        // occupancy, on and cyclic, L1-L4 C1 40
        60,   0,    2,    7,    9,    9,    3,    24,   0, 0};  // period, 2024-03-09 09:07:02, CRC
    const std::uint16_t crc = AnswerCrc(std::span(frame).subspan(1, 28));
    frame[29] = static_cast<std::uint8_t>(crc >> 8);
    frame[30] = static_cast<std::uint8_t>(crc & 0xFF);
    ASSERT_EQ(ValidateAnswer(frame, 'S', 29, 31), answer::Correct);
    const StatusAnswer s = decodeStatus(frame);
    EXPECT_EQ(std::tie(s.recordLength, s.recordCount, s.recordsPerBlock, s.blockCount, s.loggingOn,
                       s.cyclicBuffer, s.periodSeconds),
              std::make_tuple(30, 75536, 16, 4096, true, true, 60));
    EXPECT_EQ(s.mask, (LoggedItemMask{0x0F, 0x00, 0x01, 0x00, 0x80}));
    EXPECT_EQ(versionText(s) + " " + occupancyText(s) + " " + moduleClockText(s),
              "V1.7 37 % 2024-03-09  9:07:02");
    EXPECT_EQ(encodeStatus(s), frame);
}

// The figures and estimates of an ordinary status are seen in the window
// core's status texts; here the rounding edge and the largest status.
TEST(StatusFigures, TheMinuteFormBeginsAt90SecondsAndTheLargestStatusDoesNotOverflow) {
    EXPECT_EQ(downloadTimeText(89.94) + "|" + downloadTimeText(90.0), "89.9 sekund|1 min 30 sek");
    // The time left at the rate so far: nothing to tell before a second.
    std::string left;
    for (const auto& [done, elapsed] : {std::pair{5000, 13.0}, {19000, 49.4}, {0, 3.0}, {80, 0.5}})
        left += remainingTimeText(done, 20000, elapsed).value_or("-") + "|";
    EXPECT_EQ(left, "pozostało 39.0 sekund|pozostało 2.6 sekund|-|-|");
    StatusAnswer s;
    s.recordsPerBlock = 255;
    s.blockCount = 65535;
    s.recordLength = 30;
    s.periodSeconds = 65535;
    EXPECT_EQ(capacityHours(s), 65535LL * 255 * 65534 / 3600);
}

TEST(Batch, FitsTheAnswerBuffersAndOnlyRecordLengthsTheFramesCanCarry) {
    EXPECT_EQ(batchSize(104, LineKind::Tcp), 4);
    EXPECT_EQ(batchSize(10, LineKind::Serial), 170);
    const std::tuple<int, int, bool> lengths[] = {// length, items logged, usable
                                                  {9, 0, false},   {10, 0, true}, {104, 0, true},
                                                  {105, 0, false}, {0, 0, false}, {600, 0, false},
                                                  {22, 6, true},   {20, 6, false}};
    for (const auto& [length, items, usable] : lengths) {
        StatusAnswer s;
        s.recordLength = length;
        for (int item = 1; item <= items; ++item) setLogged(s.mask, item, true);
        EXPECT_EQ(isUsableRecordLength(s), usable) << length << " with " << items;
    }
}

}  // namespace
}  // namespace dkq::logger
