// The link's answer judging and decoding: received text, the frame start the
// receive loop found (first byte), and an answer buffer of the link's size or
// a small one (second byte). Decoding never writes past the buffer, and a
// frame judged correct re-encodes to text that decodes to the same bytes.
#include <algorithm>
#include <array>

#include "fuzz/fuzz_check.h"
#include "link/modbus_ascii.h"
#include "link/result_codes.h"

using namespace dkq;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input input(data, size);
    const int startOffset = input.take();
    const std::size_t capacity = input.take() % 2 ? 256 : 7;
    const std::string_view text = input.text();

    std::array<std::uint8_t, 256> bytes{};
    const auto decoded = modbus::decodeFrame(text, startOffset, std::span(bytes).first(capacity));
    fuzz::check(decoded.byteCount >= 0 && static_cast<std::size_t>(decoded.byteCount) <= capacity,
                "decoded bytes stay within the buffer");
    fuzz::check(
        decoded.code == tx::Ok || decoded.code == tx::NoFrameStart || decoded.code == tx::LrcError,
        "decoding judges with one of its three codes");
    if (decoded.code != tx::Ok || decoded.byteCount == 0) return 0;

    const auto payload = std::span(bytes).first(static_cast<std::size_t>(decoded.byteCount) - 1);
    const std::string again = modbus::encodeFrame(payload);
    std::array<std::uint8_t, 256> bytesAgain{};
    const auto redecoded = modbus::decodeFrame(again, 0, bytesAgain);
    fuzz::check(redecoded.code == tx::Ok && redecoded.byteCount == decoded.byteCount &&
                    std::equal(payload.begin(), payload.end(), bytesAgain.begin()),
                "a correct frame survives encoding and decoding");
    return 0;
}
