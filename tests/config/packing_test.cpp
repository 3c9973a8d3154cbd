// The image's fields, display text codec, text and files, from the module's
// edge cases; the configurator's registry settings.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "config/config_file.h"
#include "tests/support/sim_process.h"
#include "tests/support/stored_settings.h"

namespace dkq {
namespace {

using Words = std::array<std::int32_t, 8>;

TEST(ConfigPacking, OutputRulesPackAndUnpack) {
    struct Case {
        OutputRuleSet rules;
        Words words;
        OutputRuleSet reopened;  // what the window shows at the next opening
    };
    const Case cases[] = {
        {{{true, 300, 2, 5, 0, 70000, 1, 10, 20}, {true, 3, 1, 4, 1, -1, 0, 0, 0}},
         {2 + 4 + 8 + 16 + 44 * 256, 5 + 0x70 * 256, 0x11 + 10 * 256, 20, 1 + 8 + 3 * 256,
          4 + 255 * 256, 255, 0},
         {{true, 44, 2, 5, 0, 4464, 1, 10, 20}, {true, 3, 1, 4, 1, 65535, 0, 0, 0}}},
        // No radio chosen packs as op 3, cp 3, '>'.
        {{{false, 0, -1, 0, -1, 0, -1, 0, 511}, {false, 0, -1, 0, -1, 0, 0, 0, 0}},
         {3 + 4 + 48, 0, 0, 255, 3 + 4, 0, 0, 0},
         {{false, 0, 3, 0, 0, 0, 3, 0, 255}, {false, 0, 3, 0, 0, 0, 0, 0, 0}}},
    };
    for (const auto& c : cases) {
        ConfigImage image{};
        image.fill(-1);
        storeOutputRules(image, 5, c.rules);
        Words words{};
        std::copy_n(image.begin() + 120, 8, words.begin());
        EXPECT_EQ(words, c.words);
        EXPECT_EQ(outputRules(image, 5), c.reopened);
        EXPECT_EQ(image[119] & image[128], -1) << "O4 and O6 untouched";
    }
    ConfigImage image{};
    EXPECT_EQ(outputRules(image, 12).off.rel, 1) << "a zeroed image opens with '<'";
    image[88] = image[89] = image[90] = -1;
    const OutputRuleSet fromSigned = outputRules(image, 1);
    image[88] = image[89] = image[90] = 65535;
    EXPECT_EQ(outputRules(image, 1), fromSigned) << "-1 and 65535 decode alike";
    EXPECT_EQ(fromSigned.on, (OutputRule{true, 255, 3, 255, 0, 65535, 3, 255, 0}));
}

TEST(ConfigPacking, PwmCalibrationFlagsAndIdentity) {
    ConfigImage image{};
    storePwmRule(image, 2, {true, -1, 300, 7, -2, 32767});
    EXPECT_EQ(
        (std::array{image[188], image[189], image[190], image[191]}),
        (std::array<std::int32_t, 4>{8 + 3 + 44 * 256, 7 + 0xFE * 256, 0xFF + 0xFF * 256, 0x7F}));
    EXPECT_EQ(pwmRule(image, 2), (PwmRule{true, 3, 44, 7, -2, 32767}));
    image[184] = image[185] = image[186] = image[187] = -1;
    EXPECT_EQ(pwmRule(image, 1), (PwmRule{true, 3, 255, 255, -1, -1}));

    storeCalibration(image, 16, {40000, -5});
    EXPECT_EQ((std::pair{image[86], image[87]}), (std::pair{40000, -5}));
    EXPECT_EQ(calibration(image, 16), (CalibrationPair{40000, -5}));

    image[6] = -1;  // as read from the module
    setModeFlag(image, ModeBit::SterOn, false);
    EXPECT_EQ(image[6], -5) << "other bits kept";
    EXPECT_TRUE(modeFlag(image, ModeBit::Hv2cSensor) && !modeFlag(image, ModeBit::SterOn));
    storeModeFlags(image, modeFlags(image));
    EXPECT_EQ(image[6], 0xFB) << "bits 8..15 become 0";

    image[192] = 0xFFFF;
    const CounterFlags counters = counterFlags(image);
    EXPECT_EQ(counters, (CounterFlags{{true, true, true, true}, {true, false, true, true}}));
    storeCounterFlags(image, counters);
    EXPECT_EQ(image[192], 0xDF) << "bit 5 and bits 8..15 cleared";
    storeCounterFlags(image, {{false, true, false, false}, {false, true, false, true}});
    EXPECT_EQ(image[192], 0x82) << "C2 has no saturation bit";

    image[1] = 0x3412;
    image[2] = -2;  // 0xFFFE
    image[3] = 0x00AB;
    image[5] = 0x1234;
    EXPECT_EQ(serialNumberText(image) + " " + std::to_string(pttDelay(image)), "1234FEFFAB00 52");
}

std::vector<int> lcdBytes(const ConfigImage& image) {
    std::vector<int> bytes;
    for (int k = 8; k < 56; ++k)
        for (const int shift : {0, 8}) bytes.push_back((image[size_t(k)] >> shift) & 0xFF);
    return bytes;
}

TEST(ConfigLcdText, DecodesAndEncodes) {
    const std::pair<std::vector<std::int32_t>, std::string> decodes[] = {
        {{0x1B54, 0x0005, 0}, "T#27#05"},
        {{0x801A, 0}, "#26$80"},
        {{0x1A58, 0x0041}, "X#26#65"},
        {{0x1A58, 0x0063}, "X#26c"},
        {{0x1A1A, 0x0041}, "#26#26A"},
        {{-1, 0}, "$FF$FF"},
        {std::vector<std::int32_t>(48, 0x4241), ""},
    };
    for (const auto& [registers, text] : decodes) {
        ConfigImage image{};
        std::copy(registers.begin(), registers.end(), image.begin() + 8);
        std::string expected = text;
        for (int k = 0; text.empty() && k < 48; ++k) expected += "AB";  // full, no terminator
        EXPECT_EQ(DecodeLcdText(image), expected);
    }
    const std::pair<std::string, std::vector<int>> encodes[] = {
        {"T#27#05", {0x54, 0x1B, 0x05, 0}},
        {"AB#5", {'A', 'B', 0}},
        {"A$d4$FE$G0$/5", {'A', 0xD4, 0xFE, 0x00, 0xF5}},
        {"#999", {99, '9'}},
        {"", {}},
        {std::string(100, 'Z'), std::vector<int>(96, 'Z')},  // cut at 96, no terminator
    };
    for (const auto& [text, bytes] : encodes) {
        ConfigImage image{};
        image.fill(-1);
        EncodeLcdText(text, image);
        std::vector<int> expected = bytes;
        expected.resize(96, 0);
        EXPECT_EQ(lcdBytes(image), expected) << text;
        EXPECT_EQ(image[7] & image[56], -1);
    }
    ConfigImage image{};
    storeLcdTextFromEditing("Ćma ą", image);
    EXPECT_EQ(lcdTextForEditing(image), "$C6ma $B9");
}

TEST(ConfigFiles, RoundTripBitForBitShowEveryBitRefuseOtherSizesTakeSettingsIntoRange) {
    test::ScratchDir dir;
    ConfigImage image{};
    std::mt19937 random(11);
    for (auto& slot : image) slot = static_cast<std::int32_t>(random());
    image[10] = -1;
    image[11] = 65535;
    image[511] = INT32_MIN;
    ASSERT_EQ(saveConfigFile(dir.file("a.dkq"), image), ConfigFileResult::Ok);
    const std::string bytes = test::readFileBytes(dir.file("a.dkq"));
    EXPECT_EQ(bytes.substr(40, 8), std::string("\xFF\xFF\xFF\xFF\xFF\xFF\0\0", 8));
    EXPECT_EQ(bytes.substr(2044), std::string("\0\0\0\x80", 4));
    ConfigImage loaded{};
    ASSERT_EQ(loadConfigFile(dir.file("a.dkq"), loaded), ConfigFileResult::Ok);
    EXPECT_EQ(loaded, image);
    // The image as text is for diff: a change of any bit of any slot shows.
    const std::string text = configImageText(image);
    std::vector<std::pair<int, int>> unseen;
    for (int slot = 0; slot < ConfigSlotCount; ++slot)
        for (int bit = 0; bit < 32; ++bit) {
            ConfigImage flipped = image;
            flipped[size_t(slot)] ^= static_cast<std::int32_t>(1u << bit);
            if (configImageText(flipped) == text) unseen.emplace_back(slot, bit);
        }
    EXPECT_EQ(unseen, (std::vector<std::pair<int, int>>{}));

    // A file longer than an image is refused by its length, before reading.
    for (const size_t size : {size_t{0}, size_t{2047}, size_t{2049}, size_t{3} << 30}) {
        std::ofstream(dir.file("cut.dkq"), std::ios::binary) << bytes.substr(0, size);
        std::filesystem::resize_file(dir.file("cut.dkq"), size);
        size_t seen = 99;
        EXPECT_EQ(loadConfigFile(dir.file("cut.dkq"), loaded, &seen), ConfigFileResult::WrongSize);
        EXPECT_EQ(seen, size);
        EXPECT_EQ(loaded, image);
    }
    EXPECT_EQ(saveConfigFile(dir.file("no/such/folder/x.dkq"), image),
              ConfigFileResult::WriteFailed);
    EXPECT_EQ(configFileMessage(ConfigFileResult::WriteFailed, "x.dkq", 0),
              "Błąd zapisu pliku x.dkq.\nKonfiguracja nie została zapisana.");

    // Settings from the key the monitors share are taken into range as read.
    setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    test::storeSettings(ConfiguratorKeyPath, {{"ComPORT", 0u},
                                              {"Speed", 4294967295u},
                                              {"Echo", 7u},
                                              {"BusAdr", 257u},
                                              {"Port_TCP", 70000u},
                                              {"Polaczenie_TCP", 2u},
                                              {"Adres_IP", std::string(300, '1')}});
    ConfiguratorSettings settings;
    loadConfiguratorSettings(settings);
    EXPECT_EQ(settings,
              (ConfiguratorSettings{{1, 300000, true, std::string(255, '1'), 65535}, true, 31}));
    unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace dkq
