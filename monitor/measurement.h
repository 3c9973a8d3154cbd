// What a monitor knows about one DKQ-1 module: its lines and counters, how a
// raw register value becomes the text shown and the CSV cell recorded, its
// outputs and supplies, and the checks made on them. Shared by both monitors.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/register_map.h"

namespace dkq {

// Entries 0..15 are the lines L1..L16, 16..19 the counters C1..C4.
inline constexpr int EntryCount = LineCount + CounterCount;
inline constexpr std::size_t MaxChannelNameChars = 15;

// How a line's millivolts are presented. Stored as an int: a kind read from a
// file may be any number, and any other value shows the raw number.
enum ChannelKind : int { KindCelsius = 0, KindVolts = 1, KindRaw = 2, KindKelvin = 3 };

struct ChannelConfig {
    int kind = KindVolts;  // not used for counters
    int min = 0;           // display range, raw register units
    int max = 4092;
    std::string name;  // caption and CSV column name, at most 15 characters
    bool operator==(const ChannelConfig&) const = default;
};

// Configuration register 6 of a module; the monitor only shows it.
struct ModeFlags {
    int bits = 0;
    bool has(ModeBit bit) const { return (bits >> static_cast<int>(bit) & 1) != 0; }
};

struct OutputState {
    std::array<std::int32_t, HoldingRegisterCount> registers{};

    int outputVoltage(int output) const { return registers[static_cast<std::size_t>(output)]; }
    int outputWord() const { return registers[OutputWordRegister]; }
    bool outputOn(int output) const { return ((outputWord() >> output) & 1) != 0; }
    void setOutput(int output, bool on);
};

struct ModuleSlot {
    int busAddress = 0;  // 0: switched off, neither polled nor recorded
    std::array<int, EntryCount> raw{};
    std::array<std::string, EntryCount> valueTexts;
    std::string firmwareText;
    ModeFlags modeFlags;
    int errorCount = 0;
    std::array<ChannelConfig, EntryCount> channels;
};

// Letter A..E of module index 0..4.
char moduleLetter(int module);

// Presentation defaults, names ending in nameSuffix (multimon: the module
// letter): Linia1A.. with kind V, range 0..4092; counters Cnt1A.., range
// 0..65535 for C1 and C2, 0..1000 for C3 and C4.
std::array<ChannelConfig, EntryCount> defaultChannels(std::string_view nameSuffix);
// A module number is no suffix: named by the caller with moduleLetter.
std::array<ChannelConfig, EntryCount> defaultChannels(int module) = delete;

// "v%02X  SN=%02X%02X%02X%02X%02X%02X SUM=%02X" from diagnostics block 1:
// firmware version, serial number, program memory checksum.
std::string firmwareText(const std::array<std::uint8_t, 11>& diagnostics);

// Conversions of the line setup dialog.
float rawToDisplay(int raw, int kind);
// Truncated toward zero; values beyond the int range give its ends.
int displayToRaw(float value, int kind);

// A value as the window shows it and as its CSV cell records it (still with
// a decimal point; the cycle turns the row's points into commas).
struct EntryReading {
    std::string text;
    std::string csvCell;
};

// Lines go through the monitor's single-precision chain: volts = raw/1000,
// kelvin = volts*100, celsius = kelvin-273.15, each held as a float.
EntryReading lineReading(int raw, int kind);
EntryReading counterReading(int raw);
// Either of the two by entry: lines 0..15, counters 16..19.
EntryReading entryReading(int entry, int raw, int kind);
// The number an entry shows, in its unit: what the trend chart draws.
double entryValue(int entry, int raw, int kind);

// Unit cell of an entry in the CSV header; a line of an unknown kind has the
// raw range as NUM has, so that the header always lines up with the cells.
std::string unitCell(int entry, int kind);

// The range a bar shows: min and max each taken as a 16-bit value.
struct BarRange {
    int low = 0;
    int high = 0;
};
BarRange barRange(const ChannelConfig& channel);
// Where a bar stands for a raw value: clamped into its range (a range whose
// ends are reversed holds only its low end).
int barPosition(const BarRange& range, int raw);
// A value the bar cannot show: it stands at an end of its range instead.
// The trend chart marks these.
bool beyondBar(const ChannelConfig& channel, int raw);

// Supply alarms of Uz and Vcc; empty text means the label is hidden.
struct SupplyAlarms {
    std::string uz;
    std::string vcc;
};
SupplyAlarms supplyAlarms(const OutputState& outputs);

// Whether the "???" label of each output shows: an output on with more than
// 2000 mV measured, or off with less. O11 and O12 are not checked in PWM mode.
std::array<bool, OutputCount> outputMismatches(const OutputState& outputs, ModeFlags flags);

}  // namespace dkq
