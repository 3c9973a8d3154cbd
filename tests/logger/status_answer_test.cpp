// The status answer's layout and the figures shown from it.
#include <gtest/gtest.h>

#include <array>

#include "logger/status_answer.h"

namespace dkq::logger {
namespace {

// A status frame written out byte by byte.
std::array<std::uint8_t, StatusFrameSize> sampleFrame() {
    std::array<std::uint8_t, StatusFrameSize> f = {
        'S',  29,                          // letter, e
        '1',  '7',                         // version
        30,   0,                           // L
        0x10, 0x27, 0,    0,               // N = 10000
        0,                                 // not used
        16,                                // records per block
        0x00, 0x10,                        // 4096 blocks
        37,                                // occupancy
        0x81,                              // logging on, cyclic
        0x0F, 0x00, 0x01, 0x00, 0x80,      // L1-L4, C1, item 40
        60,   0,                           // period
        2,    7,    9,    9,    3,    24,  // 2024-03-09 09:07:02
        0,    0};
    const std::uint16_t crc = AnswerCrc(std::span(f).subspan(1, 28));
    f[29] = static_cast<std::uint8_t>(crc >> 8);
    f[30] = static_cast<std::uint8_t>(crc & 0xFF);
    return f;
}

TEST(StatusAnswer, DecodesEveryField) {
    const auto frame = sampleFrame();
    ASSERT_EQ(ValidateAnswer(frame, 'S', 29, 31), answer::Correct);
    const StatusAnswer s = decodeStatus(frame);
    EXPECT_EQ(versionText(s), "V1.7");
    EXPECT_EQ(s.recordLength, 30);
    EXPECT_EQ(s.recordCount, 10000);
    EXPECT_EQ(s.recordsPerBlock, 16);
    EXPECT_EQ(s.blockCount, 4096);
    EXPECT_EQ(occupancyText(s), "37 %");
    EXPECT_TRUE(s.loggingOn);
    EXPECT_TRUE(s.cyclicBuffer);
    EXPECT_EQ(s.mask, (LoggedItemMask{0x0F, 0x00, 0x01, 0x00, 0x80}));
    EXPECT_EQ(s.periodSeconds, 60);
    EXPECT_EQ(moduleClockText(s), "2024-03-09  9:07:02");
}

TEST(StatusAnswer, EncodingGivesTheSameBytes) {
    const auto frame = sampleFrame();
    EXPECT_EQ(encodeStatus(decodeStatus(frame)), frame);
}

TEST(StatusFigures, MemorySizeMaximumAndCapacity) {
    StatusAnswer s;
    s.recordsPerBlock = 16;
    s.blockCount = 4096;
    s.recordLength = 30;
    s.periodSeconds = 60;
    EXPECT_EQ(memorySizeText(s), " 1.9");
    EXPECT_EQ(maxRecordCount(s), 65520);
    EXPECT_EQ(capacityHours(s), 1092);
    // The largest figures a status can carry do not overflow.
    s.recordsPerBlock = 255;
    s.blockCount = 65535;
    s.periodSeconds = 65535;
    EXPECT_EQ(capacityHours(s), 65535LL * 255 * 65534 / 3600);
}

struct EstimateCase {
    std::int64_t records;
    LineKind line;
    int comPort;
    const char* text;
};

TEST(StatusFigures, DownloadTimeEstimate) {
    const EstimateCase cases[] = {
        {10000, LineKind::Tcp, 0, "65.6 sekund"},
        {10000, LineKind::Serial, 3, "39.9 sekund"},
        {10000, LineKind::Serial, 1, "36.2 sekund"},
        {100000, LineKind::Tcp, 0, "10 min 56 sek"},
    };
    for (const auto& c : cases) {
        StatusAnswer s;
        s.recordLength = 30;
        s.recordCount = c.records;
        EXPECT_EQ(downloadTimeText(downloadSeconds(s, c.line, c.comPort)), c.text) << c.text;
    }
    EXPECT_EQ(downloadTimeText(89.94), "89.9 sekund");
    EXPECT_EQ(downloadTimeText(90.0), "1 min 30 sek");
}

TEST(Batch, FitsTheAnswerBuffersOfEachLine) {
    EXPECT_EQ(batchSize(30, LineKind::Tcp), 15);
    EXPECT_EQ(batchSize(30, LineKind::Serial), 64);
    EXPECT_EQ(batchSize(104, LineKind::Tcp), 4);
    EXPECT_EQ(batchSize(10, LineKind::Serial), 170);
}

struct LengthCase {
    int length;
    int items;
    bool usable;
};

TEST(Batch, OnlyRecordLengthsTheFramesCanCarry) {
    const LengthCase cases[] = {
        {9, 0, false}, {10, 0, true},   {104, 0, true}, {105, 0, false},
        {0, 0, false}, {600, 0, false}, {22, 6, true},  {20, 6, false},
    };
    for (const auto& c : cases) {
        StatusAnswer s;
        s.recordLength = c.length;
        for (int item = 1; item <= c.items; ++item) setLogged(s.mask, item, true);
        EXPECT_EQ(isUsableRecordLength(s), c.usable) << c.length << " with " << c.items;
    }
}

}  // namespace
}  // namespace dkq::logger
