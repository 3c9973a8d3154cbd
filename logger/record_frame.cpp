#include "logger/record_frame.h"

#include <algorithm>
#include <bit>

namespace dkq::logger {

std::uint16_t AnswerCrc(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (const std::uint8_t b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

int ValidateAnswer(std::span<const std::uint8_t> frame, char letter, int minLen, int received) {
    const int first = frame.empty() ? 0 : frame[0];
    if (first != static_cast<std::uint8_t>(letter)) return answer::UnknownFormat;
    if (received < minLen + CrcBytes) return answer::WrongLength;
    // Only bytes that both arrived and lie in the buffer are looked at.
    received = std::min(received, static_cast<int>(frame.size()));
    if (received < CrcBytes) return answer::WrongLength;
    // A 'D' frame keeps one more header byte out of its CRC and zero test.
    const int crcFrom = letter == DataLetter ? 2 : 1;
    // The length byte is taken as signed: one above 127 reads negative and is refused.
    const int e = static_cast<std::int8_t>(frame[1]);  // NOLINT(bugprone-signed-char-misuse)
    if (e < std::max(minLen, crcFrom + 1) || received < e + CrcBytes) return answer::WrongLength;

    const std::uint16_t crc = AnswerCrc(frame.subspan(crcFrom, e - crcFrom));
    const std::uint16_t stored = static_cast<std::uint16_t>(frame[e] << 8 | frame[e + 1]);
    if (crc == stored) return answer::Correct;
    const auto checked = frame.subspan(crcFrom + 1, e + CrcBytes - crcFrom - 1);
    const bool allZero = std::all_of(checked.begin(), checked.end(), [](auto b) { return b == 0; });
    return allZero ? answer::EmptyFrame : answer::ChecksumError;
}

void sealFrame(std::span<std::uint8_t> frame) {
    const auto e = frame.size() - CrcBytes;
    frame[1] = static_cast<std::uint8_t>(e);
    const std::uint16_t crc = AnswerCrc(frame.subspan(1, e - 1));
    frame[e] = static_cast<std::uint8_t>(crc >> 8);
    frame[e + 1] = static_cast<std::uint8_t>(crc & 0xFF);
}

bool isLogged(const LoggedItemMask& mask, int item) {
    if (item < 1 || item > LoggedItemCount) return false;
    return (mask[static_cast<size_t>((item - 1) / 8)] >> ((item - 1) % 8)) & 1;
}

void setLogged(LoggedItemMask& mask, int item, bool on) {
    if (item < 1 || item > LoggedItemCount) return;
    auto& byte = mask[static_cast<size_t>((item - 1) / 8)];
    const auto bit = static_cast<std::uint8_t>(1u << ((item - 1) % 8));
    byte = static_cast<std::uint8_t>(on ? byte | bit : byte & ~bit);
}

int loggedItemCount(const LoggedItemMask& mask) {
    int count = 0;
    for (const auto byte : mask) count += std::popcount(byte);
    return count;
}

int recordLengthFor(const LoggedItemMask& mask) {
    return RecordValuesOffset + 2 * loggedItemCount(mask);
}

RecordDate decodeRecordDate(const PackedDate& b) {
    RecordDate d;
    d.year = 2016 + (b[0] >> 4);
    d.month = b[0] & 0x0F;
    d.day = (b[1] >> 5) << 2 | (b[2] >> 6);
    d.hour = b[1] & 0x1F;
    d.minute = b[2] & 0x3F;
    d.second = b[3] & 0x3F;
    return d;
}

PackedDate encodeRecordDate(const RecordDate& d) {
    const auto byte = [](int value) { return static_cast<std::uint8_t>(value & 0xFF); };
    return {byte((d.year - 2016) << 4 | (d.month & 0x0F)),
            byte((d.day >> 2 & 0x07) << 5 | (d.hour & 0x1F)),
            byte((d.day & 0x03) << 6 | (d.minute & 0x3F)), byte(d.second & 0x3F)};
}

bool isEmptyDate(const PackedDate& b) {
    const auto same = [&](std::uint8_t v) { return b[0] == v && b[1] == v && b[2] == v; };
    return same(0x00) || same(0xFF);
}

bool isEarlierDay(const RecordDate& a, const RecordDate& b) {
    if (a.year != b.year) return a.year < b.year;
    if (a.month != b.month) return a.month < b.month;
    return a.day < b.day;
}

}  // namespace dkq::logger
