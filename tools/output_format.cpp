#include "tools/output_format.h"

#include <cstdio>
#include <cstdlib>

#include "common/text.h"
#include "link/platform/clock.h"

namespace dkq::tool {
namespace {

using namespace std::chrono;

std::string hexByte(std::uint8_t b) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", b);
    return text;
}

std::string serialNumber(const Diagn1Block& block) {
    std::string text;
    for (size_t i = 1; i <= 6; ++i) text += hexByte(block[i]);
    return text;
}

constexpr size_t kFirmware = 0;
constexpr size_t kSupply = 7;
constexpr size_t kLogicSupply = 8;
constexpr size_t kProgramSum = 9;
constexpr size_t kEepromSum = 10;

constexpr size_t kLongestTimestamp = 24;  // "2026-12-07 18:50:50.540 "
constexpr size_t kLongestValue = 7;       // " -32768"

// JSON string contents: quotes, backslashes and control characters escaped.
std::string jsonEscaped(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            escaped += '\\';
            escaped += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04X", static_cast<unsigned>(c));
            escaped += code;
        } else {
            escaped += c;
        }
    }
    return escaped;
}

// A second as both forms print it, "2026-12-07 8:50:50" and
// "2026-12-07T08:50:50" with its offset from UTC, "+01:00".
struct SecondTexts {
    sys_seconds second = sys_seconds::min();
    std::string text;
    std::string iso;
    std::string offset;
};

SecondTexts secondTextsOf(sys_seconds second) {
    std::tm c{};
    platform::localTime(WallClock::to_time_t(second), c);
    // The local civil time read as if it were UTC, less the instant itself.
    const auto civilAsUtc = sys_days{year{c.tm_year + 1900} / (c.tm_mon + 1) / c.tm_mday} +
                            hours{c.tm_hour} + minutes{c.tm_min} + seconds{c.tm_sec};
    const int offsetMinutes = static_cast<int>(duration_cast<minutes>(civilAsUtc - second).count());
    const int offset = std::abs(offsetMinutes);
    char iso[64];
    std::snprintf(iso, sizeof iso, "%04d-%02d-%02dT%02d:%02d:%02d", c.tm_year + 1900, c.tm_mon + 1,
                  c.tm_mday, c.tm_hour, c.tm_min, c.tm_sec);
    char zone[16];
    std::snprintf(zone, sizeof zone, "%c%02d:%02d", offsetMinutes < 0 ? '-' : '+', offset / 60,
                  offset % 60);
    return {second, formatDateTime(c), iso, zone};
}

// Polls back to back print thousands of lines a second: the local time of
// a second is worked out and formatted once.
const SecondTexts& secondTexts(WallClock::time_point time) {
    static thread_local SecondTexts last;
    const auto second = floor<seconds>(time);
    if (second != last.second) last = secondTextsOf(second);
    return last;
}

// ".540": the milliseconds of the time.
std::string millisText(WallClock::time_point time) {
    const auto ms = static_cast<int>((time - floor<seconds>(time)) / milliseconds(1));
    return {'.', static_cast<char>('0' + ms / 100), static_cast<char>('0' + ms / 10 % 10),
            static_cast<char>('0' + ms % 10)};
}

}  // namespace

std::optional<OutputFormat> parseOutputFormat(const std::string& word) {
    if (word == "text") return OutputFormat::Text;
    if (word == "csv") return OutputFormat::Csv;
    if (word == "json") return OutputFormat::Json;
    return std::nullopt;
}

std::string textTimestamp(WallClock::time_point time) {
    return secondTexts(time).text + millisText(time);
}

std::string isoTimestamp(WallClock::time_point time) {
    const SecondTexts& second = secondTexts(time);
    return second.iso + millisText(time) + second.offset;
}

std::string hexBytes(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (const auto b : bytes) {
        if (!text.empty()) text += ' ';
        text += hexByte(b);
    }
    return text;
}

void RecordPrinter::print(const Fields& fields) {
    if (format_ == OutputFormat::Csv) {
        if (!headerDone_) {
            for (size_t i = 0; i < fields.size(); ++i) out_ << (i ? ";" : "") << fields[i].key;
            out_ << '\n';
            headerDone_ = true;
        }
        for (size_t i = 0; i < fields.size(); ++i) out_ << (i ? ";" : "") << fields[i].value;
    } else {
        out_ << '{';
        for (size_t i = 0; i < fields.size(); ++i) {
            const Field& f = fields[i];
            const bool quoted = f.kind == Field::Text;
            out_ << (i ? "," : "") << '"' << f.key << "\":" << (quoted ? "\"" : "")
                 << (quoted ? jsonEscaped(f.value) : f.value) << (quoted ? "\"" : "");
        }
        out_ << '}';
    }
    out_ << '\n' << std::flush;
}

ReadingPrinter::ReadingPrinter(std::ostream& out, OutputOptions options, bool textTimestamps)
    : out_(out),
      options_(options),
      textTimestamps_(textTimestamps),
      records_(out, options.format) {}

std::string ReadingPrinter::value(std::int32_t v) const {
    if (!options_.hex) return std::to_string(v);
    char text[5];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(v) & 0xFFFFu);
    return text;
}

void ReadingPrinter::print(const Reading& reading) {
    const bool ok = reading.error.empty();
    if (options_.format == OutputFormat::Text) {
        if (!ok) return;
        // Each << of std::cout is a locked call into stdio: one for the line,
        // built in one piece of memory (a poll prints thousands a second).
        std::string line;
        line.reserve(kLongestTimestamp + kLongestValue * reading.values.size());
        if (textTimestamps_) line.append(textTimestamp(reading.time)).push_back(' ');
        for (size_t i = 0; i < reading.values.size(); ++i)
            line.append(i ? " " : "").append(value(reading.values[i]));
        line.push_back('\n');
        out_ << line << std::flush;
        return;
    }
    const std::string status = std::to_string(reading.status);
    if (options_.format == OutputFormat::Csv) {
        Fields fields{{"time", isoTimestamp(reading.time)},
                      {"addr", std::to_string(reading.address)}};
        for (int i = 0; i < reading.count; ++i)
            fields.push_back({"reg" + std::to_string(reading.start + i),
                              ok ? value(reading.values[static_cast<size_t>(i)]) : ""});
        fields.push_back({"code", status});
        fields.push_back({"error", reading.error});
        return records_.print(fields);
    }
    const char* quote = options_.hex ? "\"" : "";
    std::string list = "[";
    for (size_t i = 0; ok && i < reading.values.size(); ++i) {
        if (i) list += ',';
        list.append(quote).append(value(reading.values[i])).append(quote);
    }
    Fields fields{{"address", std::to_string(reading.address), Field::Number},
                  {"start", std::to_string(reading.start), Field::Number},
                  {"values", list + "]", Field::Json},
                  {"time", isoTimestamp(reading.time)},
                  {"code", status, Field::Number}};
    if (!ok) fields.push_back({"error", reading.error});
    records_.print(fields);
}

void ModulePrinter::print(int address, const Diagn1Block& block) {
    if (format_ == OutputFormat::Text) {
        out_ << address << "  v" << hexByte(block[kFirmware]) << "  SN=" << serialNumber(block)
             << "  UZ=" << hexByte(block[kSupply]) << " Vcc=" << hexByte(block[kLogicSupply])
             << '\n'
             << std::flush;
        return;
    }
    records_.print({{format_ == OutputFormat::Csv ? "addr" : "address", std::to_string(address),
                     Field::Number},
                    {"firmware", hexByte(block[kFirmware])},
                    {"serial", serialNumber(block)},
                    {"supply", hexByte(block[kSupply])},
                    {"logic_supply", hexByte(block[kLogicSupply])},
                    {"program_sum", hexByte(block[kProgramSum])},
                    {"eeprom_sum", hexByte(block[kEepromSum])}});
}

}  // namespace dkq::tool
