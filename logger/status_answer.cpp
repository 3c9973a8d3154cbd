#include "logger/status_answer.h"

#include <algorithm>

#include "logger/format_text.h"

namespace dkq::logger {
namespace {

// Byte positions in the status frame.
constexpr int kVersion = 2;
constexpr int kRecordLength = 4;
constexpr int kRecordCount = 6;
constexpr int kRecordsPerBlock = 11;
constexpr int kBlockCount = 12;
constexpr int kOccupancy = 14;
constexpr int kFlags = 15;
constexpr int kMask = 16;
constexpr int kPeriod = 21;
constexpr int kClock = 23;  // second, minute, hour, day, month, year − 2000

constexpr std::uint8_t kLoggingOnFlag = 0x80;
constexpr std::uint8_t kCyclicFlag = 0x01;

constexpr int kTcpAnswerBytes = 496;
constexpr int kSerialAnswerBytes = 2048;
constexpr int kMaxBatch = 250;

std::uint32_t little(std::span<const std::uint8_t> bytes) {
    std::uint32_t value = 0;
    for (size_t i = bytes.size(); i-- > 0;) value = value << 8 | bytes[i];
    return value;
}

void putLittle(std::span<std::uint8_t> bytes, std::uint32_t value) {
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(value & 0xFF);
        value >>= 8;
    }
}

}  // namespace

StatusAnswer decodeStatus(std::span<const std::uint8_t, StatusFrameSize> f) {
    StatusAnswer s;
    s.version[0] = static_cast<char>(f[kVersion]);
    s.version[1] = static_cast<char>(f[kVersion + 1]);
    s.recordLength = static_cast<int>(little(f.subspan(kRecordLength, 2)));
    s.recordCount = little(f.subspan(kRecordCount, 4));
    s.recordsPerBlock = f[kRecordsPerBlock];
    s.blockCount = static_cast<int>(little(f.subspan(kBlockCount, 2)));
    s.occupancyPercent = f[kOccupancy];
    s.loggingOn = (f[kFlags] & kLoggingOnFlag) != 0;
    s.cyclicBuffer = (f[kFlags] & kCyclicFlag) != 0;
    std::copy_n(f.begin() + kMask, MaskBytes, s.mask.begin());
    s.periodSeconds = static_cast<int>(little(f.subspan(kPeriod, 2)));
    s.clock = {f[kClock],     f[kClock + 1], f[kClock + 2],
               f[kClock + 3], f[kClock + 4], f[kClock + 5]};
    return s;
}

std::array<std::uint8_t, StatusFrameSize> encodeStatus(const StatusAnswer& s) {
    std::array<std::uint8_t, StatusFrameSize> f{};
    const auto span = std::span(f);
    const auto byte = [](int value) { return static_cast<std::uint8_t>(value & 0xFF); };
    f[0] = StatusLetter;
    f[kVersion] = static_cast<std::uint8_t>(s.version[0]);
    f[kVersion + 1] = static_cast<std::uint8_t>(s.version[1]);
    putLittle(span.subspan(kRecordLength, 2), static_cast<std::uint32_t>(s.recordLength));
    putLittle(span.subspan(kRecordCount, 4), static_cast<std::uint32_t>(s.recordCount));
    f[kRecordsPerBlock] = byte(s.recordsPerBlock);
    putLittle(span.subspan(kBlockCount, 2), static_cast<std::uint32_t>(s.blockCount));
    f[kOccupancy] = byte(s.occupancyPercent);
    f[kFlags] = static_cast<std::uint8_t>((s.loggingOn ? kLoggingOnFlag : 0) |
                                          (s.cyclicBuffer ? kCyclicFlag : 0));
    std::copy(s.mask.begin(), s.mask.end(), f.begin() + kMask);
    putLittle(span.subspan(kPeriod, 2), static_cast<std::uint32_t>(s.periodSeconds));
    const ModuleClock& c = s.clock;
    for (int i = 0; const int part : {c.second, c.minute, c.hour, c.day, c.month, c.year})
        f[static_cast<size_t>(kClock + i++)] = byte(part);
    sealFrame(f);
    return f;
}

int batchSize(int recordLength, LineKind line) {
    const int answerBytes = line == LineKind::Tcp ? kTcpAnswerBytes : kSerialAnswerBytes;
    return std::min(answerBytes / (recordLength + CrcBytes), kMaxBatch);
}

bool isUsableRecordLength(const StatusAnswer& s) {
    const int length = s.recordLength;
    return length >= MinRecordLength && length <= MaxRecordLength &&
           length >= recordLengthFor(s.mask) && batchSize(length, LineKind::Tcp) > 0 &&
           batchSize(length, LineKind::Serial) > 0;
}

std::string versionText(const StatusAnswer& s) {
    return formatText("V%c.%c", s.version[0], s.version[1]);
}

std::string memorySizeText(const StatusAnswer& s) {
    const double bytes = static_cast<double>(s.recordsPerBlock) * s.blockCount * s.recordLength;
    return formatText("%4.1f", bytes / 1048576.0);
}

std::int64_t maxRecordCount(const StatusAnswer& s) {
    return std::int64_t{s.recordsPerBlock} * (s.blockCount - 1);
}

std::int64_t capacityHours(const StatusAnswer& s) {
    return s.periodSeconds * maxRecordCount(s) / 3600;
}

std::string occupancyText(const StatusAnswer& s) {
    return formatText("%d %%", s.occupancyPercent);
}

std::string moduleClockText(const StatusAnswer& s) {
    const ModuleClock& c = s.clock;
    return formatText("20%02d-%02d-%02d %2d:%02d:%02d", c.year, c.month, c.day, c.hour, c.minute,
                      c.second);
}

double downloadSeconds(const StatusAnswer& s, LineKind line, int comPort) {
    const double length = s.recordLength;
    const double t = length * static_cast<double>(s.recordCount) / 9386.6;
    if (line == LineKind::Tcp) return t * 1.45 * (0.89 - (length - 12) * 0.00263) * 1.68;
    const double portFactor = comPort <= 2 ? 1.18 : 1.3;
    return t * portFactor * (1 - (length - 12) * 0.0022);
}

std::optional<std::string> remainingTimeText(std::int64_t done, std::int64_t total,
                                             double elapsedSeconds) {
    if (done <= 0 || elapsedSeconds < 1) return std::nullopt;
    const double left = static_cast<double>(std::max<std::int64_t>(total - done, 0));
    return "pozostało " + downloadTimeText(elapsedSeconds * left / static_cast<double>(done));
}

std::string downloadTimeText(double seconds) {
    if (seconds < 90) return formatText("%.1f sekund", seconds);
    const int whole = static_cast<int>(seconds);
    return formatText("%d min %d sek", whole / 60, whole % 60);
}

}  // namespace dkq::logger
