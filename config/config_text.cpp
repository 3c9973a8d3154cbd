// The image as text for dkq config-show: one item a line, always the same
// lines in the same order, so two images compare with diff.
#include <cstdio>

#include "config/config_image.h"

namespace dkq {
namespace {

constexpr const char* ModeBitNames[ModeBitCount] = {
    "calibration",           "autonomous-lcd",       "ster_on",       "pwm", "digital-sensors",
    "logging-blocked-by-c1", "8-digital-8-analogue", "hv-2c-on-c3-c4"};

constexpr int FirstCalibrationSlot = cfg::FirstCalibrationRegister;
constexpr int EndCalibrationSlot = cfg::FirstCalibrationRegister + 2 * cfg::CalibrationLines;

template <typename... Args>
std::string line(const char* pattern, Args... args) {
    char text[128];
    std::snprintf(text, sizeof text, pattern, args...);
    return std::string(text) + '\n';
}

// The calibration numbers are the only slots the named lines show whole.
bool shownWhole(int slot) {
    return slot >= FirstCalibrationSlot && slot < EndCalibrationSlot;
}

}  // namespace

std::string configImageText(const ConfigImage& image) {
    std::string text = "serial-number " + serialNumberText(image) + '\n';
    text += line("ptt-delay %d", pttDelay(image));
    const auto flags = modeFlags(image);
    for (int n = 0; n < ModeBitCount; ++n)
        text += std::string("mode ") + ModeBitNames[n] +
                (flags[static_cast<std::size_t>(n)] ? " 1\n" : " 0\n");
    text.append("lcd-text ").append(DecodeLcdText(image)).append("\n");
    for (int k = 1; k <= cfg::CalibrationLines; ++k) {
        const CalibrationPair pair = calibration(image, k);
        text += line("L%d A=%d B=%d", k, pair.a, pair.b);
    }
    const bool sterOn = modeFlag(image, ModeBit::SterOn);
    for (int n = 1; n <= cfg::RuleOutputs; ++n) {
        const OutputRuleSet rules = outputRules(image, n);
        std::string output = "O";
        output.append(std::to_string(n)).append(" ");
        text.append(output).append(switchOnDebugText(sterOn, rules.on)).append("\n");
        text.append(output).append(switchOffDebugText(rules.off)).append("\n");
    }
    for (int p = 1; p <= cfg::PwmOutputs; ++p) {
        const PwmRule rule = pwmRule(image, p);
        text += line("PWM%d enabled=%d  op=%d  reg1=%d  reg2=%d  k=%d  c=%d", p,
                     rule.enabled ? 1 : 0, rule.op, rule.reg1, rule.reg2, rule.k, rule.c);
    }
    const CounterFlags counters = counterFlags(image);
    for (std::size_t n = 0; n < 4; ++n) {
        const int counter = static_cast<int>(n + 1);
        const int pulses = counters.pulseCounting[n] ? 1 : 0;
        if (n == 1)  // C2 has no saturation choice
            text += line("C%d pulse-counting=%d", counter, pulses);
        else
            text += line("C%d pulse-counting=%d  saturates=%d", counter, pulses,
                         counters.saturates[n] ? 1 : 0);
    }
    // Every other slot as it is held, so that two images that differ in any
    // bit never print alike: the bits no field interprets, the high 16 bits,
    // the file-only slots 240..511, -1 and its unsigned twin 65535.
    for (int slot = 0; slot < ConfigSlotCount; ++slot)
        if (!shownWhole(slot)) text += line("R%d %d", slot, image[static_cast<std::size_t>(slot)]);
    return text;
}

}  // namespace dkq
