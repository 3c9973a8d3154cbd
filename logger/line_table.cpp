#include "logger/line_table.h"

#include <array>
#include <optional>
#include <vector>

#include "common/plain_file.h"
#include "common/text.h"
#include "logger/format_text.h"

namespace dkq::logger {
namespace {

constexpr const char* kMagic = "DKQ-1";
// Magic, the eight settings numbers and the CSV name come before the entries.
constexpr size_t kFirstEntryLine = 3;
constexpr size_t kNameSearchChars = 100;
constexpr int kNumberFields = 3;

// Byte position just after the third comma within the first 100 characters.
std::optional<size_t> nameStart(const std::string& line) {
    const std::string searched = limitChars(line, kNameSearchChars);
    size_t at = 0;
    for (int comma = 0; comma < kNumberFields; ++comma) {
        at = searched.find(',', at);
        if (at == std::string::npos) return std::nullopt;
        ++at;
    }
    return at;
}

LineEntry parseEntry(const std::string& line, int number) {
    LineEntry entry;
    const auto numbers = scanIntList(line, kNumberFields);
    const std::array<int*, kNumberFields> fields = {&entry.kind, &entry.minimum, &entry.maximum};
    for (size_t i = 0; i < numbers.size() && i < fields.size(); ++i) *fields[i] = numbers[i];

    const auto start = nameStart(line);
    if (!start) {
        entry.name = formatText("Linia L%d", number);
        return entry;
    }
    std::string name = line.substr(*start);
    std::erase_if(name, [](char c) { return c == '\r' || c == '\n'; });
    if (const auto bracket = name.find('['); bracket != std::string::npos) {
        entry.unit = limitChars(name.substr(bracket), MaxLineUnitChars);
        name.erase(bracket);
    }
    entry.name = limitChars(name, MaxLineNameChars);
    return entry;
}

}  // namespace

LineTable loadLineTable(const std::string& path) {
    std::string bytes;
    if (readWholeFile(path, bytes, MaxTextFileBytes) != FileRead::Ok) return LineTable{};
    return parseLineTable(bytes);
}

LineTable parseLineTable(std::string_view bytes) {
    LineTable table;
    const std::vector<std::string> lines = decodeTextLines(bytes);
    if (lines.empty() || firstWord(lines[0]) != kMagic) return table;
    for (int i = 0; i < LineTableEntries; ++i) {
        const size_t at = kFirstEntryLine + static_cast<size_t>(i);
        // A file that ends early leaves its missing lines without a name.
        const std::string line = at < lines.size() ? lines[at] : std::string();
        LineEntry& entry = table.entries[static_cast<size_t>(i)];
        entry = parseEntry(line, i + 1);
        if (!entry.unit.empty()) table.namesCarryUnits = true;
    }
    table.loaded = true;
    return table;
}

}  // namespace dkq::logger
