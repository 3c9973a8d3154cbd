// Answer judging, from a table.
#include <gtest/gtest.h>

#include <vector>

#include "link/modbus_ascii.h"
#include "link/result_codes.h"

namespace dkq::modbus {
namespace {

// Request texts are seen exactly in the tests on the simulated bus.
TEST(Framing, AnswerJudgedLikeTheLink) {
    struct Case {
        const char* text;
        int startOffset;
        int code;
        int bytes;
    };
    const Case cases[] = {
        {":010300000013E9\r\n", 0, tx::Ok, 7},
        {":01030000001 3e9\r\n", 0, tx::LrcError, 0},  // blank is not a digit: sum breaks
        {"xy:010300000013E9\r\n", 2, tx::Ok, 7},       // bytes before the frame skipped
        {":010300000013E9", 0, tx::Ok, 7},            // end of text reads as NUL
        {":010300000013E9XX", 0, tx::LrcError, 0},    // digits not ended by a control char
        {":0103000000\r13E9\n", 0, tx::LrcError, 0},  // stops at CR: sum not zero
        {":\r\n", 0, tx::Ok, 0},
    };
    for (const auto& c : cases) {
        std::array<std::uint8_t, 256> bytes{};
        const auto result = decodeFrame(c.text, c.startOffset, bytes);
        EXPECT_EQ(result.code, c.code) << c.text;
        EXPECT_EQ(result.byteCount, c.bytes) << c.text;
    }
}

TEST(Framing, NeverWritesPastTheAnswerBuffer) {
    // 300 pairs of "00" with no line end: more bytes than the buffer holds.
    const std::string text = ":" + std::string(600, '0') + "\r\n";
    std::array<std::uint8_t, 8> small{};
    EXPECT_EQ(decodeFrame(text, 0, small).code, tx::LrcError);
    std::array<std::uint8_t, 256> full{};
    EXPECT_EQ(decodeFrame(text, 0, full).code, tx::LrcError);
}

}  // namespace
}  // namespace dkq::modbus
