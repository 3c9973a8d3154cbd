#include "tools/output_format.h"

#include <chrono>
#include <cstdio>

#include "common/text.h"
#include "link/platform/clock.h"

namespace dkq::tool {
namespace {

std::string hexByte(std::uint8_t b) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", b);
    return text;
}

std::string serialNumber(const Diagn1Block& block) {
    std::string text;
    for (int i = 1; i <= 6; ++i) text += hexByte(block[static_cast<size_t>(i)]);
    return text;
}

constexpr size_t kFirmware = 0;
constexpr size_t kSupply = 7;
constexpr size_t kLogicSupply = 8;

}  // namespace

std::optional<OutputFormat> parseOutputFormat(const std::string& word) {
    if (word == "text") return OutputFormat::Text;
    if (word == "csv") return OutputFormat::Csv;
    if (word == "json") return OutputFormat::Json;
    return std::nullopt;
}

std::string localTimestamp() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    platform::localTime(system_clock::to_time_t(now), local);
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(millis));
    return formatDateTime(local) + fraction;
}

ReadingPrinter::ReadingPrinter(std::ostream& out, OutputOptions options, bool textTimestamps)
    : out_(out), options_(options), textTimestamps_(textTimestamps) {}

std::string ReadingPrinter::value(std::int32_t v) const {
    if (!options_.hex) return std::to_string(v);
    char text[5];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(v) & 0xFFFFu);
    return text;
}

void ReadingPrinter::print(const Reading& reading) {
    switch (options_.format) {
        case OutputFormat::Text:
            if (reading.code != tx::Ok) return;
            if (textTimestamps_) out_ << reading.time << ' ';
            for (size_t i = 0; i < reading.values.size(); ++i)
                out_ << (i ? " " : "") << value(reading.values[i]);
            out_ << '\n';
            break;
        case OutputFormat::Csv:
            printCsv(reading);
            break;
        case OutputFormat::Json:
            printJson(reading);
            break;
    }
    out_.flush();
}

void ReadingPrinter::printCsv(const Reading& reading) {
    if (!headerDone_) {
        out_ << "time;addr";
        for (int i = 0; i < reading.count; ++i) out_ << ";reg" << reading.start + i;
        out_ << '\n';
        headerDone_ = true;
    }
    if (reading.code != tx::Ok) return;
    out_ << reading.time << ';' << reading.address;
    for (const auto v : reading.values) out_ << ';' << value(v);
    out_ << '\n';
}

void ReadingPrinter::printJson(const Reading& reading) {
    const char* quote = options_.hex ? "\"" : "";
    out_ << "{\"address\":" << reading.address << ",\"start\":" << reading.start << ",\"values\":[";
    if (reading.code == tx::Ok) {
        for (size_t i = 0; i < reading.values.size(); ++i)
            out_ << (i ? "," : "") << quote << value(reading.values[i]) << quote;
    }
    out_ << "],\"time\":\"" << reading.time << "\",\"code\":" << reading.code << "}\n";
}

void ModulePrinter::print(int address, const Diagn1Block& block) {
    const std::string firmware = hexByte(block[kFirmware]);
    const int supply = block[kSupply];
    const int logicSupply = block[kLogicSupply];
    switch (format_) {
        case OutputFormat::Text:
            out_ << address << "  v" << firmware << "  SN=" << serialNumber(block)
                 << "  UZ=" << hexByte(block[kSupply]) << " Vcc=" << hexByte(block[kLogicSupply])
                 << '\n';
            break;
        case OutputFormat::Csv:
            if (!headerDone_) out_ << "addr;firmware;serial;supply;logic_supply\n";
            headerDone_ = true;
            out_ << address << ';' << firmware << ';' << serialNumber(block) << ';' << supply << ';'
                 << logicSupply << '\n';
            break;
        case OutputFormat::Json:
            out_ << "{\"address\":" << address << ",\"firmware\":\"" << firmware
                 << "\",\"serial\":\"" << serialNumber(block) << "\",\"supply\":" << supply
                 << ",\"logic_supply\":" << logicSupply << "}\n";
            break;
    }
    out_.flush();
}

}  // namespace dkq::tool
