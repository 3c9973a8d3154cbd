// Frame text and answer judging, from tables.
#include <gtest/gtest.h>

#include <vector>

#include "link/modbus_ascii.h"
#include "link/result_codes.h"

namespace dkq::modbus {
namespace {

TEST(Framing, RequestTextCarriesUpperCaseDigitsAndLrc) {
    struct Case {
        std::vector<std::uint8_t> bytes;
        const char* text;
    };
    const Case cases[] = {
        {{0x01, 0x03, 0x00, 0x00, 0x00, 0x13}, ":010300000013E9\r\n"},
        {{0x00, 0x21, 0x00, 0x00, 0x00, 0x00}, ":002100000000DF\r\n"},  // the wake-up line
        {{0x03, 0x0A, 0x05, 0x05}, ":030A0505E9\r\n"},
        {{0x01, 0x05, 0x01, 0x02, 0xFF, 0x00}, ":01050102FF00F8\r\n"},
        {{0x00, 0x00}, ":000000\r\n"},  // LRC of sum 0 is 0
    };
    for (const auto& c : cases) {
        EXPECT_EQ(encodeFrame(c.bytes), c.text);
        EXPECT_EQ(static_cast<int>(encodeFrame(c.bytes).size()),
                  frameTextLength(static_cast<int>(c.bytes.size())));
    }
}

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
        {":010300000013e9\r\n", 0, tx::Ok, 7},         // lower case accepted
        {"xy:010300000013E9\r\n", 2, tx::Ok, 7},       // bytes before the frame skipped
        {"010300000013E9\r\n", 0, tx::NoFrameStart, 0},
        {":010300000013E8\r\n", 0, tx::LrcError, 0},  // LRC off by one
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

TEST(ResultCodes, EveryCodeHasAMeaning) {
    for (int code = 0; code <= 9; ++code)
        EXPECT_STRNE(codeMeaning(CodeKind::Transaction, code), "unknown transaction code");
    for (int code = 0; code <= 5; ++code)
        EXPECT_STRNE(codeMeaning(CodeKind::Open, code), "unknown open code");
    EXPECT_STREQ(codeMeaning(CodeKind::Transaction, 42), "unknown transaction code");
}

}  // namespace
}  // namespace dkq::modbus
