// The configuration image: the configurator's one copy of a module's
// configuration memory, the meaning of its registers and the packing of every
// field the editing windows and dkq show.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "link/register_map.h"

namespace dkq {

// 512 signed 32-bit slots. Slot n (0..239) mirrors configuration register n;
// slots 240..511 only travel through files. A slot holds a register as read
// (sign-extended 16 bits), as packed by a window (0..65535) or as typed
// (calibration numbers); the module gets its low 16 bits, and every reader of
// a packed field masks, so -1 and 65535 decode alike.
inline constexpr int ConfigSlotCount = 512;
using ConfigImage = std::array<std::int32_t, ConfigSlotCount>;

// Configuration register map.
namespace cfg {
inline constexpr int FirstSerialRegister = 1;  // 1..3: six bytes, low byte first
inline constexpr int SerialBytes = 6;
inline constexpr int PttDelayRegister = 5;
inline constexpr int ModeFlagsRegister = dkq::ModeFlagsRegister;
inline constexpr int FirstLcdRegister = 8;  // 8..55: 96 bytes of display text
inline constexpr int LcdBytes = 96;
inline constexpr int FirstCalibrationRegister = 56;  // Lk: A at 56+2(k-1), B next
inline constexpr int CalibrationLines = 16;
inline constexpr int FirstOutputRuleRegister = 88;  // On: 88+8(n-1), 8 words
inline constexpr int OutputRuleSetWords = 8;
inline constexpr int RuleOutputs = 12;
inline constexpr int FirstPwmRegister = 184;  // PWM1 at 184, PWM2 at 188
inline constexpr int PwmRuleWords = 4;
inline constexpr int PwmOutputs = 2;
inline constexpr int CounterFlagsRegister = 192;
}  // namespace cfg

// ModeFlags (register 6): the bits of ModeBit.

bool modeFlag(const ConfigImage& image, ModeBit bit);
// Sets or clears one bit, keeping the others as the slot holds them.
void setModeFlag(ConfigImage& image, ModeBit bit, bool on);
// The eight switches as the general settings window rewrites them (bits
// 8..15 become 0).
std::array<bool, ModeBitCount> modeFlags(const ConfigImage& image);
void storeModeFlags(ConfigImage& image, const std::array<bool, ModeBitCount>& flags);

// CounterFlags (register 192). Counter C2 has no saturation choice: bit 5 is
// never loaded and always stored as 0, so saturates[1] is ignored.
struct CounterFlags {
    std::array<bool, 4> pulseCounting{};  // "Zliczanie imp." (else "Częstotliwość")
    std::array<bool, 4> saturates{};      // "nasycanie max." of C1, C3, C4
    bool operator==(const CounterFlags&) const = default;
};
CounterFlags counterFlags(const ConfigImage& image);
void storeCounterFlags(ConfigImage& image, const CounterFlags& flags);

// One switching condition of an output. Fields are ints as a window takes
// them (any integer; a radio group with nothing chosen is -1) and are cut to
// their widths when packed. The switch-off rule has no cp, t1, t2.
struct OutputRule {
    bool enabled = false;  // set (switch-on) / clr (switch-off)
    int reg1 = 0;
    int op = 0;  // 0 "samo", 1 "+", 2 "-", 3 "*"
    int reg2 = 0;
    int rel = 0;  // 0 ">", 1 "<"
    int val = 0;  // threshold, mV, 16 bits unsigned
    int cp = 0;   // 0 "Ciągle", 1 "Impulsowo", 2 "Cyklicznie"
    int t1 = 0;
    int t2 = 0;
    bool operator==(const OutputRule&) const = default;
};
struct OutputRuleSet {
    OutputRule on;
    OutputRule off;
    bool operator==(const OutputRuleSet&) const = default;
};
// output 1..12
OutputRuleSet outputRules(const ConfigImage& image, int output);
void storeOutputRules(ConfigImage& image, int output, const OutputRuleSet& rules);

// PWMn = k/1000 · (L reg1 op L reg2) + c; k and c signed 16-bit.
struct PwmRule {
    bool enabled = false;
    int op = 0;
    int reg1 = 0;
    int reg2 = 0;
    int k = 0;
    int c = 0;
    bool operator==(const PwmRule&) const = default;
};
// pwm 1 (drives O11) or 2 (O12)
PwmRule pwmRule(const ConfigImage& image, int pwm);
void storePwmRule(ConfigImage& image, int pwm, const PwmRule& rule);

// Calibration of line Lk (k = 1..16): y = A·x/1000 + B mV, as the slots hold them.
struct CalibrationPair {
    int a = 0;
    int b = 0;
    bool operator==(const CalibrationPair&) const = default;
};
CalibrationPair calibration(const ConfigImage& image, int line);
void storeCalibration(ConfigImage& image, int line, const CalibrationPair& pair);

// Twelve upper-case hex digits of the serial number.
std::string serialNumberText(const ConfigImage& image);
int pttDelay(const ConfigImage& image);

// Display text: bytes below 32 (and small numbers after a code that follows
// an ordinary character) as "#NN", bytes from 128 as "$XX". ASCII only.
std::string DecodeLcdText(const ConfigImage& image);
// Encodes text (bytes of the display's code page) into registers 8..55.
void EncodeLcdText(std::string_view text, ConfigImage& image);
// The editing window's text is UTF-8; the display's bytes are Windows-1250.
std::string lcdTextForEditing(const ConfigImage& image);
void storeLcdTextFromEditing(std::string_view utf8, ConfigImage& image);

// The two debug texts of the first output-rule window ("ster_on=…", "clr=…").
std::string switchOnDebugText(bool sterOn, const OutputRule& rule);
std::string switchOffDebugText(const OutputRule& rule);

// The whole image as text, one item a line, for comparing images with diff.
std::string configImageText(const ConfigImage& image);

}  // namespace dkq
