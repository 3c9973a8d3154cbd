#include "monitor/measurement.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace dkq {
namespace {

// Fixed-point text with a decimal point whatever the locale, rounded as
// printf's "%.Nf" rounds.
std::string fixed(double value, int decimals) {
    char text[64];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return std::string(text, result.ptr);
}

struct LineValue {
    std::string number;
    const char* unit;  // appended to the number in the window
};

// The monitor's single-precision chain: volts = raw/1000, kelvin = volts*100,
// celsius = kelvin-273.15, each held as a float.
float lineNumber(int raw, int kind) {
    const float volts = static_cast<float>(raw) / 1000.0f;
    const float kelvin = volts * 100;
    switch (kind) {
        case KindCelsius:
            return static_cast<float>(kelvin - 273.15);
        case KindVolts:
            return volts;
        case KindKelvin:
            return kelvin;
        default:
            return static_cast<float>(raw);
    }
}

LineValue lineValue(int raw, int kind) {
    const float number = lineNumber(raw, kind);
    switch (kind) {
        case KindCelsius:
            return {fixed(number, 1), "°C"};
        case KindVolts:
            return {fixed(number, 3), " V"};
        case KindKelvin:
            return {fixed(number, 1), " K"};
        default:
            return {std::to_string(raw), ""};
    }
}

int clampToInt(double value) {
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (value <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

}  // namespace

void OutputState::setOutput(int output, bool on) {
    const int bit = 1 << output;
    registers[OutputWordRegister] = on ? (outputWord() | bit) : (outputWord() & ~bit);
}

char moduleLetter(int module) {
    return static_cast<char>('A' + module);
}

std::array<ChannelConfig, EntryCount> defaultChannels(std::string_view nameSuffix) {
    std::array<ChannelConfig, EntryCount> channels;
    const std::string letter(nameSuffix);
    for (int line = 0; line < LineCount; ++line)
        channels[line] = {KindVolts, 0, 4092, "Linia" + std::to_string(line + 1) + letter};
    for (int counter = 0; counter < CounterCount; ++counter) {
        const int max = counter < 2 ? 65535 : 1000;
        channels[LineCount + counter] = {0, 0, max, "Cnt" + std::to_string(counter + 1) + letter};
    }
    return channels;
}

std::string firmwareText(const std::array<std::uint8_t, 11>& diagnostics) {
    const auto& d = diagnostics;
    char text[64];
    std::snprintf(text, sizeof text, "v%02X  SN=%02X%02X%02X%02X%02X%02X SUM=%02X", d[0], d[1],
                  d[2], d[3], d[4], d[5], d[6], d[9]);
    return text;
}

float rawToDisplay(int raw, int kind) {
    switch (kind) {
        case KindCelsius:
            return static_cast<float>((raw - 2732.0) * 0.1);  // no int overflow at INT_MIN
        case KindVolts:
            return static_cast<float>(raw * 0.001);
        case KindKelvin:
            return static_cast<float>(raw * 0.1);
        default:
            return static_cast<float>(raw);
    }
}

// In single precision like the value typed: 25.3 gives 2985, as read.
int displayToRaw(float value, int kind) {
    switch (kind) {
        case KindCelsius:
            return clampToInt(value * 10 + 2732);
        case KindVolts:
            return clampToInt(value * 1000);
        case KindKelvin:
            return clampToInt(value * 10);
        default:
            return clampToInt(value);
    }
}

EntryReading lineReading(int raw, int kind) {
    const LineValue value = lineValue(raw, kind);
    return {value.number + value.unit, value.number + ";"};
}

EntryReading counterReading(int raw) {
    const std::string number = std::to_string(raw);
    return {number, number + ";"};
}

EntryReading entryReading(int entry, int raw, int kind) {
    return entry < LineCount ? lineReading(raw, kind) : counterReading(raw);
}

double entryValue(int entry, int raw, int kind) {
    return entry < LineCount ? static_cast<double>(lineNumber(raw, kind)) : raw;
}

std::string unitCell(int entry, int kind) {
    if (entry >= LineCount) return "[imp];";
    switch (kind) {
        case KindCelsius:
            return "T [°C];";
        case KindVolts:
            return "U [V];";
        case KindKelvin:
            return "T [K];";
        default:  // NUM, and any unknown kind, whose cells hold the raw value
            return "[0-4092];";
    }
}

BarRange barRange(const ChannelConfig& channel) {
    return {channel.min & 0xFFFF, channel.max & 0xFFFF};
}

int barPosition(const BarRange& range, int raw) {
    return std::clamp(raw, range.low, std::max(range.low, range.high));
}

bool beyondBar(const ChannelConfig& channel, int raw) {
    return barPosition(barRange(channel), raw) != raw;
}

SupplyAlarms supplyAlarms(const OutputState& outputs) {
    SupplyAlarms alarms;
    const int uz = outputs.registers[UzRegister];
    const int vcc = outputs.registers[VccRegister];
    if (uz < 6500)
        alarms.uz = "Uz<7V !";
    else if (uz > 24500)
        alarms.uz = "Uz>25V !";
    if (vcc < 4750)
        alarms.vcc = "Vcc<4.75V !";
    else if (vcc > 5250)
        alarms.vcc = "Vcc>5.25V !";
    return alarms;
}

std::array<bool, OutputCount> outputMismatches(const OutputState& outputs, ModeFlags flags) {
    std::array<bool, OutputCount> mismatches{};
    for (int output = 0; output < OutputCount; ++output) {
        if (output >= 10 && flags.has(ModeBit::Pwm)) continue;
        const int millivolts = outputs.outputVoltage(output);
        mismatches[output] = outputs.outputOn(output) ? millivolts > 2000 : millivolts < 2000;
    }
    return mismatches;
}

}  // namespace dkq
