#include "config/config_image.h"

#include <cstdio>

#include "common/cp1250.h"

namespace dkq {
namespace {

int lowByte(std::int32_t value) {
    return value & 0xFF;
}
int highByte(std::int32_t value) {
    return (value >> 8) & 0xFF;
}
std::int32_t word(int low, int high) {
    return (low & 0xFF) + (high & 0xFF) * 256;
}
int signed16(int low, int high) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(word(low, high)));
}
std::int32_t& slot(ConfigImage& image, int n) {
    return image[static_cast<std::size_t>(n)];
}
std::int32_t slot(const ConfigImage& image, int n) {
    return image[static_cast<std::size_t>(n)];
}
int bit(std::int32_t value, int n) {
    return (value >> n) & 1;
}
int ruleBase(int output) {
    return cfg::FirstOutputRuleRegister + cfg::OutputRuleSetWords * (output - 1);
}
int pwmBase(int pwm) {
    return cfg::FirstPwmRegister + cfg::PwmRuleWords * (pwm - 1);
}
int calibrationBase(int line) {
    return cfg::FirstCalibrationRegister + 2 * (line - 1);
}

constexpr int OpMask = 3;
constexpr int GreaterBit = 4;  // set when rel = 0 (">")
constexpr int EnableBit = 8;
constexpr int CpShift = 4;
constexpr int SaturationBits[4] = {4, -1, 6, 7};  // C2 has none

// Word 0 of a rule: op, rel, enable; reg1 in the high byte.
std::int32_t ruleFlagsWord(const OutputRule& rule, int cp) {
    return (rule.op & OpMask) + (rule.rel == 1 ? 0 : GreaterBit) + (rule.enabled ? EnableBit : 0) +
           (cp & OpMask) * 16 + (rule.reg1 & 0xFF) * 256;
}

OutputRule unpackRule(std::int32_t w0, std::int32_t w1, std::int32_t w2) {
    OutputRule rule;
    rule.enabled = bit(w0, 3) != 0;
    rule.rel = bit(w0, 2) ? 0 : 1;
    rule.op = w0 & OpMask;
    rule.reg1 = highByte(w0);
    rule.reg2 = lowByte(w1);
    rule.val = lowByte(w2) * 256 + highByte(w1);
    return rule;
}

std::array<std::uint8_t, cfg::LcdBytes> lcdBytes(const ConfigImage& image) {
    std::array<std::uint8_t, cfg::LcdBytes> bytes{};
    for (int k = 0; k < cfg::LcdBytes / 2; ++k) {
        const std::int32_t value = slot(image, cfg::FirstLcdRegister + k);
        bytes[static_cast<std::size_t>(2 * k)] = static_cast<std::uint8_t>(lowByte(value));
        bytes[static_cast<std::size_t>(2 * k + 1)] = static_cast<std::uint8_t>(highByte(value));
    }
    return bytes;
}

int hexDigitValue(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c > '9' ? 0 : c - '0';
}

// The byte an escape stands for, from the two characters after "#" or "$".
int escapedByte(char escape, int first, int second) {
    if (escape == '#') return ((first - '0') * 10 + (second - '0')) & 0xFF;
    return (16 * hexDigitValue(first) + hexDigitValue(second)) & 0xFF;
}

template <typename... Args>
std::string format(const char* pattern, Args... args) {
    char text[160];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

}  // namespace

bool modeFlag(const ConfigImage& image, ModeBit flag) {
    return bit(slot(image, cfg::ModeFlagsRegister), static_cast<int>(flag)) != 0;
}

void setModeFlag(ConfigImage& image, ModeBit flag, bool on) {
    const std::int32_t mask = 1 << static_cast<int>(flag);
    std::int32_t& flags = slot(image, cfg::ModeFlagsRegister);
    flags = on ? (flags | mask) : (flags & ~mask);
}

std::array<bool, ModeBitCount> modeFlags(const ConfigImage& image) {
    std::array<bool, ModeBitCount> flags{};
    for (int n = 0; n < ModeBitCount; ++n)
        flags[static_cast<std::size_t>(n)] = modeFlag(image, ModeBit{n});
    return flags;
}

void storeModeFlags(ConfigImage& image, const std::array<bool, ModeBitCount>& flags) {
    std::int32_t value = 0;
    for (int n = 0; n < ModeBitCount; ++n)
        if (flags[static_cast<std::size_t>(n)]) value |= 1 << n;
    slot(image, cfg::ModeFlagsRegister) = value;
}

CounterFlags counterFlags(const ConfigImage& image) {
    const std::int32_t value = slot(image, cfg::CounterFlagsRegister);
    CounterFlags flags;
    for (std::size_t n = 0; n < 4; ++n) {
        flags.pulseCounting[n] = bit(value, static_cast<int>(n)) != 0;
        if (SaturationBits[n] >= 0) flags.saturates[n] = bit(value, SaturationBits[n]) != 0;
    }
    return flags;
}

void storeCounterFlags(ConfigImage& image, const CounterFlags& flags) {
    std::int32_t value = 0;
    for (std::size_t n = 0; n < 4; ++n) {
        if (flags.pulseCounting[n]) value |= 1 << n;
        if (SaturationBits[n] >= 0 && flags.saturates[n]) value |= 1 << SaturationBits[n];
    }
    slot(image, cfg::CounterFlagsRegister) = value;
}

OutputRuleSet outputRules(const ConfigImage& image, int output) {
    const int base = ruleBase(output);
    const auto w = [&](int n) { return slot(image, base + n); };
    OutputRuleSet rules{unpackRule(w(0), w(1), w(2)), unpackRule(w(4), w(5), w(6))};
    rules.on.cp = (w(0) >> CpShift) & OpMask;
    rules.on.t1 = highByte(w(2));
    rules.on.t2 = lowByte(w(3));
    return rules;
}

void storeOutputRules(ConfigImage& image, int output, const OutputRuleSet& rules) {
    const int base = ruleBase(output);
    const auto w = [&](int n) -> std::int32_t& { return slot(image, base + n); };
    const OutputRule& on = rules.on;
    const OutputRule& off = rules.off;
    w(0) = ruleFlagsWord(on, on.cp);
    w(1) = word(on.reg2, on.val);
    w(2) = word(on.val >> 8, on.t1);
    w(3) = on.t2 & 0xFF;
    w(4) = ruleFlagsWord(off, 0);
    w(5) = word(off.reg2, off.val);
    w(6) = (off.val >> 8) & 0xFF;
    w(7) = 0;
}

PwmRule pwmRule(const ConfigImage& image, int pwm) {
    const int base = pwmBase(pwm);
    const auto w = [&](int n) { return slot(image, base + n); };
    PwmRule rule;
    rule.enabled = bit(w(0), 3) != 0;
    rule.op = w(0) & OpMask;
    rule.reg1 = highByte(w(0));
    rule.reg2 = lowByte(w(1));
    rule.k = signed16(highByte(w(1)), lowByte(w(2)));
    rule.c = signed16(highByte(w(2)), lowByte(w(3)));
    return rule;
}

void storePwmRule(ConfigImage& image, int pwm, const PwmRule& rule) {
    const int base = pwmBase(pwm);
    const auto w = [&](int n) -> std::int32_t& { return slot(image, base + n); };
    w(0) = (rule.enabled ? EnableBit : 0) + (rule.op & OpMask) + (rule.reg1 & 0xFF) * 256;
    w(1) = word(rule.reg2, rule.k);
    w(2) = word(rule.k >> 8, rule.c);
    w(3) = (rule.c >> 8) & 0xFF;
}

CalibrationPair calibration(const ConfigImage& image, int line) {
    const int base = calibrationBase(line);
    return {slot(image, base), slot(image, base + 1)};
}

void storeCalibration(ConfigImage& image, int line, const CalibrationPair& pair) {
    const int base = calibrationBase(line);
    slot(image, base) = pair.a;
    slot(image, base + 1) = pair.b;
}

std::string serialNumberText(const ConfigImage& image) {
    const auto r = [&](int n) { return slot(image, cfg::FirstSerialRegister + n); };
    return format("%02X%02X%02X%02X%02X%02X", lowByte(r(0)), highByte(r(0)), lowByte(r(1)),
                  highByte(r(1)), lowByte(r(2)), highByte(r(2)));
}

int pttDelay(const ConfigImage& image) {
    return lowByte(slot(image, cfg::PttDelayRegister));
}

std::string DecodeLcdText(const ConfigImage& image) {
    std::string text;
    int p1 = 255;
    int p2 = 255;
    for (const int b : lcdBytes(image)) {
        if (b == 0) break;
        if (b < 32 || (b < 99 && p1 < 32 && p2 > 31))
            text += format("#%02d", b);
        else if (b < 128)
            text += static_cast<char>(b);
        else
            text += format("$%02X", b);
        p2 = p1;
        p1 = b;
    }
    return text;
}

void EncodeLcdText(std::string_view text, ConfigImage& image) {
    std::array<std::uint8_t, cfg::LcdBytes> bytes{};
    std::size_t count = 0;
    const auto put = [&](int b) {
        if (count < bytes.size()) bytes[count] = static_cast<std::uint8_t>(b);
        ++count;
    };
    const auto at = [&](std::size_t i) {
        return static_cast<int>(static_cast<unsigned char>(text[i]));
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '#' && c != '$') {
            put(at(i));
            continue;
        }
        const bool nearEnd = i + 2 >= text.size();
        put(escapedByte(c, nearEnd ? '0' : at(i + 1), nearEnd ? '0' : at(i + 2)));
        i += 2;
    }
    put(0);
    put(0);
    for (int k = 0; k < cfg::LcdBytes / 2; ++k)
        slot(image, cfg::FirstLcdRegister + k) = word(bytes[static_cast<std::size_t>(2 * k)],
                                                      bytes[static_cast<std::size_t>(2 * k + 1)]);
}

std::string lcdTextForEditing(const ConfigImage& image) {
    return DecodeLcdText(image);  // all bytes from 128 are escaped: plain ASCII
}

void storeLcdTextFromEditing(std::string_view utf8, ConfigImage& image) {
    EncodeLcdText(utf8ToCp1250(utf8), image);
}

std::string switchOnDebugText(bool sterOn, const OutputRule& r) {
    return format(
        "ster_on=%d  set=%d  reg1=%d  reg2=%d  op=%d  rel=%d  val=%d  cp=%d  t1=%d  t2=%d",
        sterOn ? 1 : 0, r.enabled ? 1 : 0, r.reg1, r.reg2, r.op, r.rel, r.val, r.cp, r.t1, r.t2);
}

std::string switchOffDebugText(const OutputRule& r) {
    return format("clr=%d  reg1=%d  reg2=%d  op=%d  rel=%d  val=%d", r.enabled ? 1 : 0, r.reg1,
                  r.reg2, r.op, r.rel, r.val);
}

}  // namespace dkq
