// Requests and answers of the simulated modules written as bytes, turned into
// line text and back with the link's own framing; a bus of documented values.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "link/modbus_ascii.h"
#include "link/result_codes.h"
#include "sim/bus.h"

namespace dkq::sim::test {

using Bytes = std::vector<std::uint8_t>;

// The line a client sends, without its CR LF.
inline std::string requestLine(const Bytes& request) {
    std::string text = modbus::encodeFrame(request);
    text.resize(text.size() - 2);
    return text;
}

// Bytes written as hexadecimal digits.
inline Bytes hexBytes(std::string_view hex) {
    Bytes bytes;
    for (size_t at = 0; at + 1 < hex.size(); at += 2)
        bytes.push_back(
            static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(at, 2)), nullptr, 16)));
    return bytes;
}

// The bytes of answer text without the LRC; empty when it does not decode.
inline Bytes answerBytes(std::string_view text) {
    std::array<std::uint8_t, 256> bytes{};
    const auto decoded = modbus::decodeFrame(text, 0, bytes);
    if (decoded.code != tx::Ok || decoded.byteCount == 0) return {};
    return Bytes(bytes.begin(), bytes.begin() + decoded.byteCount - 1);
}

inline BusSettings deterministicBus(std::vector<int> addresses) {
    BusSettings settings;
    settings.addresses = std::move(addresses);
    settings.deterministic = true;
    return settings;
}

}  // namespace dkq::sim::test
