#include "link/modbus_ascii.h"

#include "link/result_codes.h"

namespace dkq::modbus {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Letters count as value - 55 after upper-casing, everything else as - 48;
// the module link never validated digits further, and neither do we. Only
// ASCII letters are upper-cased, whatever locale a program runs in.
int digitValue(char c) {
    const int byte = static_cast<unsigned char>(c);
    const int upper = byte >= 'a' && byte <= 'z' ? byte - ('a' - 'A') : byte;
    return upper > '9' ? upper - 55 : upper - 48;
}

char charAt(std::string_view text, size_t pos) {
    return pos < text.size() ? text[pos] : '\0';
}

bool isControl(char c) {
    return static_cast<unsigned char>(c) < 0x20;
}

}  // namespace

std::uint8_t lrc(std::span<const std::uint8_t> bytes) {
    unsigned sum = 0;
    for (auto b : bytes) sum += b;
    return static_cast<std::uint8_t>((256 - sum % 256) % 256);
}

std::string encodeFrame(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve(static_cast<size_t>(frameTextLength(static_cast<int>(bytes.size()))));
    text.push_back(':');
    auto appendByte = [&text](std::uint8_t b) {
        text.push_back(kHexDigits[b >> 4]);
        text.push_back(kHexDigits[b & 0x0F]);
    };
    for (auto b : bytes) appendByte(b);
    appendByte(lrc(bytes));
    text += "\r\n";
    return text;
}

DecodeResult decodeFrame(std::string_view text, int startOffset, std::span<std::uint8_t> bytes) {
    const size_t colon = text.find(':', static_cast<size_t>(startOffset < 0 ? 0 : startOffset));
    if (colon == std::string_view::npos) return {tx::NoFrameStart, 0};

    size_t pos = colon + 1;
    size_t countdown = text.size() - pos;
    size_t count = 0;
    unsigned sum = 0;
    while (countdown > 0 && !isControl(charAt(text, pos))) {
        if (count == bytes.size()) return {tx::LrcError, 0};
        const int value = digitValue(charAt(text, pos)) * 16 + digitValue(charAt(text, pos + 1));
        const auto b = static_cast<std::uint8_t>(value);
        bytes[count++] = b;
        sum += b;
        pos += 2;
        --countdown;
    }
    if (!isControl(charAt(text, pos)) || sum % 256 != 0) return {tx::LrcError, 0};
    return {tx::Ok, static_cast<int>(count)};
}

}  // namespace dkq::modbus
