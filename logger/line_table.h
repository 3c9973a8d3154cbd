// Names and kinds of the input lines L1-L16 and counters C1-C4, taken from a
// webmon configuration file saved as "DKQ-Logger.cfg".
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace dkq::logger {

inline constexpr const char* LineTableFile = "DKQ-Logger.cfg";
inline constexpr int LineTableEntries = 20;
inline constexpr int MaxLineNameChars = 15;
inline constexpr int MaxLineUnitChars = 19;

// Value kinds of a line.
namespace kind {
inline constexpr int Celsius = 0;
inline constexpr int Volts = 1;
inline constexpr int Raw = 2;
inline constexpr int Kelvin = 3;
}  // namespace kind

struct LineEntry {
    int kind = kind::Celsius;
    int minimum = 0;  // read, not used by the reader
    int maximum = 0;
    std::string name;  // UTF-8, at most 15 characters
    std::string unit;  // "[...]" split off the name, at most 19 characters
};

struct LineTable {
    std::array<LineEntry, LineTableEntries> entries{};
    bool loaded = false;
    bool namesCarryUnits = false;
};

// Reads the file when its first word is exactly "DKQ-1"; otherwise, or when
// it cannot be read, the table stays unloaded.
LineTable loadLineTable(const std::string& path);
// The same from the file's bytes.
LineTable parseLineTable(std::string_view bytes);

}  // namespace dkq::logger
