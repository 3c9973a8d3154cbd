// Modbus ASCII framing: ':' + two upper-case hex digits per byte + LRC + CR LF.
// Pure functions shared by the link and by the simulated module.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace dkq::modbus {

// Limits set by the 512-character frame text buffer of the link.
inline constexpr int MaxFrameBytes = 253;  // request or answer bytes without the LRC
inline constexpr int FrameTextCapacity = 512;

// What one frame carries: a read answer has 3 header bytes, a write request
// 6, and a text of odd length one pad byte more.
inline constexpr int MaxRegistersPerRead = (MaxFrameBytes - 3) / 2;   // 125
inline constexpr int MaxRegistersPerWrite = (MaxFrameBytes - 6) / 2;  // 123
inline constexpr int MaxTextPerWrite = MaxFrameBytes - 7;             // 246

// Two's complement of the 8-bit sum: (256 - sum % 256) % 256.
std::uint8_t lrc(std::span<const std::uint8_t> bytes);

// The frame text of bytes, LRC appended: 2 * size + 5 characters.
std::string encodeFrame(std::span<const std::uint8_t> bytes);

// Characters of the frame text of n bytes.
constexpr int frameTextLength(int byteCount) {
    return 2 * byteCount + 5;
}

struct DecodeResult {
    int code = 0;       // tx::Ok, tx::NoFrameStart or tx::LrcError
    int byteCount = 0;  // bytes decoded, the LRC byte included
};

// Decodes received frame text the way the module link judges an answer:
// looks for ':' from startOffset on, decodes hex pairs (either case, not
// otherwise validated) until a character below 0x20 or until the characters
// after ':' run out, and checks that decoding stopped on a control character
// and that the 8-bit sum including the LRC is 0. Characters past the end of
// text count as NUL. At most bytes.size() bytes are stored; a frame that would
// need more is an LrcError.
DecodeResult decodeFrame(std::string_view text, int startOffset, std::span<std::uint8_t> bytes);

}  // namespace dkq::modbus
