// What the line setup dialog of one module shows and takes back: names,
// presentation kinds and display ranges of its 16 lines and 4 counters.
// Line ranges are shown in the unit of the line's kind and stored back in
// raw register units by the kind chosen on OK.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>

#include "forms/field_reader.h"
#include "monitor/measurement.h"

namespace dkq {

inline constexpr std::size_t MaxLineSetupNameChars = 8;
inline constexpr int KindCount = 4;

using ChannelTable = std::array<ChannelConfig, EntryCount>;

// The dialog's fields: text of the edits, the checked kind radio of each line
// (-1 when none is checked, as for a kind read from a file that has no radio).
struct LineSetupFields {
    std::array<std::string, EntryCount> names;
    std::array<int, LineCount> kinds{};
    std::array<std::string, EntryCount> mins;
    std::array<std::string, EntryCount> maxes;
};

// "Moduł C (adres: 07)".
std::string moduleLabel(int module, int busAddress);
// "Ustawienia linii wejściowych: Moduł C (adres: 07)".
std::string lineSetupCaption(int module, int busAddress);

LineSetupFields lineSetupFields(const ChannelTable& channels);

// Field numbers in FieldProblem: three per entry, in the order checked.
enum class LineSetupPart { Name = 0, Min = 1, Max = 2 };
constexpr int lineSetupField(int entry, LineSetupPart part) {
    return entry * 3 + static_cast<int>(part);
}
constexpr int lineSetupEntry(int field) {
    return field / 3;
}
constexpr LineSetupPart lineSetupPart(int field) {
    return static_cast<LineSetupPart>(field % 3);
}

// OK: stores the fields into channels, or leaves channels untouched and
// returns the first field that fails. A line without a checked kind keeps
// its kind.
std::optional<FieldProblem> applyLineSetup(const LineSetupFields& fields, ChannelTable& channels);

}  // namespace dkq
