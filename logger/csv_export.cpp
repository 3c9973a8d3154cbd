#include "logger/csv_export.h"

#include <algorithm>
#include <filesystem>

#include "common/cp1250.h"
#include "common/text_file.h"
#include "logger/format_text.h"

namespace dkq::logger {
namespace {

// Logged items by what they hold.
constexpr int kLastLine = 16;
constexpr int kLastCounter = 20;
constexpr int kLastOutput = 32;
constexpr int kSupply = 33;
constexpr int kLogicSupply = 34;
constexpr int kOccupancy = 35;
constexpr int kUnnamedItem = 40;

bool isLine(int item) {
    return item >= 1 && item <= kLastLine;
}
bool isDescribedByTable(int item) {
    return item >= 1 && item <= kLastCounter;
}

int kindOf(int item, const LineTable& table, bool readAsTemperatures) {
    if (isLine(item) && table.loaded) return table.entries[static_cast<size_t>(item - 1)].kind;
    return readAsTemperatures ? kind::Celsius : kind::Volts;
}

const char* unitOfKind(int valueKind) {
    switch (valueKind) {
        case kind::Celsius:
            return "[°C]";
        case kind::Volts:
            return "[V]";
        case kind::Kelvin:
            return "[K]";
        default:
            return "";
    }
}

std::string headerCell(int item, int valueKind) {
    if (isLine(item)) return formatText(";L%d %s ", item, unitOfKind(valueKind));
    if (item <= kLastCounter) return formatText(";CNT_C%d ", item - kLastLine);
    if (item <= kLastOutput) return formatText(";O%d ", item - kLastCounter);
    switch (item) {
        case kSupply:
            return ";Uzas [V] ";
        case kLogicSupply:
            return ";Vcc [V] ";
        case kOccupancy:
            return ";FLASH [%] ";
        case 36:
            return ";Okres_rej [s] ";
        case 37:
            return ";Wyjscia [bit] ";
        case 38:
            return ";PWM1 ";
        case 39:
            return ";PWM2 ";
        default:
            return formatText(";REG[%d] ", item);
    }
}

std::string tableHeaderCell(const LineEntry& entry, bool namesCarryUnits) {
    const char* unit = namesCarryUnits ? "" : unitOfKind(entry.kind);
    return formatText(";%s %s ", entry.name.c_str(), unit);
}

std::string decimalComma(std::string cell) {
    std::replace(cell.begin(), cell.end(), '.', ',');
    return cell;
}

std::string kindCell(int valueKind, int v) {
    switch (valueKind) {
        case kind::Celsius:
            return formatText(";%.1f", (v - 2731.5) / 10);
        case kind::Volts:
            return formatText(";%.3f", v / 1000.0);
        case kind::Kelvin:
            return formatText(";%.1f", (v - 2731.5) / 10 + 273.2);
        default:
            return formatText(";%d", v);
    }
}

std::string valueCell(int item, int valueKind, int v) {
    if (isLine(item) || item == kUnnamedItem) return kindCell(valueKind, v);
    if (item <= kLastCounter) return formatText(";%d", v);
    if (item <= kLogicSupply) return formatText(";%.3f", v / 1000.0);
    if (item == kOccupancy) return formatText(";%d%%", v);
    return formatText(";%d", v);
}

// Start of the file name within a path.
size_t nameStart(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? 0 : slash + 1;
}

// First ".csv" or ".CSV" in the file name, whichever comes first.
size_t csvExtensionAt(const std::string& path) {
    const size_t from = nameStart(path);
    return std::min(path.find(".csv", from), path.find(".CSV", from));
}

}  // namespace

CsvLayout buildCsvLayout(const LoggedItemMask& mask, const LineTable& table,
                         bool readAsTemperatures) {
    CsvLayout layout;
    layout.header = "Lp;Czas RTC";
    std::string units = " ; ";
    for (int item = 1; item <= LoggedItemCount; ++item) {
        if (!isLogged(mask, item)) continue;
        const int valueKind = kindOf(item, table, readAsTemperatures);
        const bool fromTable = table.loaded && isDescribedByTable(item);
        const LineEntry* entry =
            isDescribedByTable(item) ? &table.entries[static_cast<size_t>(item - 1)] : nullptr;
        layout.header += fromTable ? tableHeaderCell(*entry, table.namesCarryUnits)
                                   : headerCell(item, valueKind);
        units += formatText(";%s ", entry ? entry->unit.c_str() : "");
        layout.items.push_back(item);
        layout.kinds.push_back(valueKind);
    }
    layout.header += "; Poprawność";
    if (table.loaded && table.namesCarryUnits) layout.unitsHeader = units + "; ";
    return layout;
}

std::uint16_t Record::value(size_t column) const {
    const size_t at = RecordValuesOffset + 2 * column;
    if (at + 1 >= bytes.size()) return 0;
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

Record readRecord(std::span<const std::uint8_t> frame) {
    Record record;
    std::copy_n(frame.begin(), std::min(frame.size(), record.bytes.size()), record.bytes.begin());
    const auto& b = record.bytes;
    record.number = static_cast<std::int32_t>(
        static_cast<std::uint32_t>(b[2]) | static_cast<std::uint32_t>(b[3]) << 8 |
        static_cast<std::uint32_t>(b[4]) << 16 | static_cast<std::uint32_t>(b[5]) << 24);
    std::copy_n(b.begin() + RecordDateOffset, record.date.size(), record.date.begin());
    return record;
}

std::string formatRow(const Record& record, const CsvLayout& layout, bool valid) {
    const RecordDate d = decodeRecordDate(record.date);
    std::string row = formatText("%d;%04d-%02d-%02d %2d:%02d:%02d", record.number, d.year, d.month,
                                 d.day, d.hour, d.minute, d.second);
    for (size_t column = 0; column < layout.items.size(); ++column)
        row += decimalComma(
            valueCell(layout.items[column], layout.kinds[column], record.value(column)));
    row += valid ? ";1" : ";0";
    return row;
}

std::string withCsvExtension(const std::string& path) {
    return csvExtensionAt(path) == std::string::npos ? path + ".csv" : path;
}

std::string partFileName(const std::string& path, int part) {
    const size_t cut = csvExtensionAt(path);
    return path.substr(0, cut) + formatText("_%d.csv", part);
}

// A new empty file renamed over the name, so that a link found there is
// replaced, never written through; the rows are appended to it.
bool CsvFile::create(const std::string& path) {
    path_ = path;
    waiting_.clear();
    failed_ = false;
    open_ = writeWholeFile(path_, {});
    return open_;
}

void CsvFile::writeLine(const std::string& line) {
    if (open_) waiting_ += utf8ToCp1250(line) + "\r\n";
}

bool CsvFile::flush() {
    if (failed_) return false;
    if (waiting_.empty()) return true;
    failed_ = !appendToFile(path_, waiting_);
    waiting_.clear();
    return !failed_;
}

void CsvFile::close() {
    if (open_) flush();
    open_ = false;
    waiting_.clear();
}

void CsvFile::discard() {
    waiting_.clear();
    open_ = false;
    std::error_code ignored;
    std::filesystem::remove(pathFromUtf8(path_), ignored);
}

}  // namespace dkq::logger
