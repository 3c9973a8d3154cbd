// Configuration images (2048-byte files, slot n a 32-bit little-endian
// number at 4n) and the display text codec. The first byte chooses: an image
// read from the bytes, written back whole, every field and text decoded, rules
// packed back unchanged; or display text encoded into an image and shown.
#include <algorithm>

#include "config/config_file.h"
#include "config/config_image.h"
#include "fuzz/fuzz_check.h"

using namespace dkq;

namespace {

ConfigImage imageOf(std::span<const std::uint8_t> bytes) {
    ConfigImage image{};
    for (std::size_t n = 0; n < image.size() && 4 * n + 3 < bytes.size(); ++n)
        image[n] = static_cast<std::int32_t>(static_cast<std::uint32_t>(bytes[4 * n]) |
                                             bytes[4 * n + 1] << 8 | bytes[4 * n + 2] << 16 |
                                             static_cast<std::uint32_t>(bytes[4 * n + 3]) << 24);
    return image;
}

void showImage(std::span<const std::uint8_t> bytes) {
    ConfigImage image = imageOf(bytes);
    if (bytes.size() == ConfigFileBytes) {
        const std::string file = configFileBytes(image);
        const auto sameByte = [](char c, std::uint8_t b) {
            return static_cast<std::uint8_t>(c) == b;
        };
        fuzz::check(std::equal(file.begin(), file.end(), bytes.begin(), sameByte),
                    "a file writes back whole");
    }
    configImageText(image);
    serialNumberText(image);
    lcdTextForEditing(image);
    const ConfigImage before = image;
    for (int output = 1; output <= cfg::RuleOutputs; ++output) {
        const OutputRuleSet rules = outputRules(image, output);
        switchOnDebugText(modeFlag(image, ModeBit::SterOn), rules.on);
        switchOffDebugText(rules.off);
        storeOutputRules(image, output, rules);
        fuzz::check(outputRules(image, output) == rules, "rules read back as stored");
    }
    for (int pwm = 1; pwm <= cfg::PwmOutputs; ++pwm) storePwmRule(image, pwm, pwmRule(image, pwm));
    for (int pwm = 1; pwm <= cfg::PwmOutputs; ++pwm)
        fuzz::check(pwmRule(image, pwm) == pwmRule(before, pwm), "PWM rules survive packing");
    storeCounterFlags(image, counterFlags(before));
    fuzz::check(counterFlags(image) == counterFlags(before), "counter flags survive packing");
}

void showText(std::string_view text) {
    ConfigImage image{};
    EncodeLcdText(text, image);
    DecodeLcdText(image);
    storeLcdTextFromEditing(text, image);
    // A '#' or '$' the display shows as it is, before two digits, reads back
    // as a code: the format cannot tell them apart, so only bounds are checked.
    fuzz::check(lcdTextForEditing(image).size() <= 3 * cfg::LcdBytes, "display text is bounded");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input input(data, size);
    if (input.take() % 2)
        showText(input.text());
    else
        showImage(input.rest());
    return 0;
}
