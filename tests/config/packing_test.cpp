// The image's fields, display text codec, files and settings, from the
// module's edge cases.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "config/config_file.h"
#include "tests/support/sim_process.h"

namespace dkq {
namespace {

using Words = std::array<std::int32_t, 8>;

Words ruleWords(const ConfigImage& image, int output) {
    Words w{};
    for (int n = 0; n < 8; ++n)
        w[static_cast<size_t>(n)] = image[static_cast<size_t>(88 + 8 * (output - 1) + n)];
    return w;
}

TEST(ConfigPacking, OutputRulesPackAndUnpack) {
    struct Case {
        const char* name;
        OutputRuleSet rules;
        Words words;
        OutputRuleSet reopened;  // what the window shows at the next opening
    };
    const OutputRule on{true, 300, 2, 5, 0, 70000, 1, 10, 20};
    const OutputRule off{true, 3, 1, 4, 1, -1, 0, 0, 0};
    const OutputRule noChoiceOn{false, 0, -1, 0, -1, 0, -1, 0, 511};
    const OutputRule noChoiceOff{false, 0, -1, 0, -1, 0, 0, 0, 0};
    const Case cases[] = {
        {"fields cut to their widths",
         {on, off},
         {2 + 4 + 8 + 16 + 44 * 256, 5 + 0x70 * 256, 0x11 + 10 * 256, 20, 1 + 8 + 3 * 256,
          4 + 255 * 256, 255, 0},
         {{true, 44, 2, 5, 0, 4464, 1, 10, 20}, {true, 3, 1, 4, 1, 65535, 0, 0, 0}}},
        {"no radio chosen packs as op 3, cp 3, '>'",
         {noChoiceOn, noChoiceOff},
         {3 + 4 + 48, 0, 0, 255, 3 + 4, 0, 0, 0},
         {{false, 0, 3, 0, 0, 0, 3, 0, 255}, {false, 0, 3, 0, 0, 0, 0, 0, 0}}},
    };
    for (const auto& c : cases) {
        ConfigImage image{};
        image.fill(-1);
        storeOutputRules(image, 5, c.rules);
        EXPECT_EQ(ruleWords(image, 5), c.words) << c.name;
        EXPECT_EQ(outputRules(image, 5), c.reopened) << c.name;
        EXPECT_EQ(image[119], -1) << c.name;  // O4's last word
        EXPECT_EQ(image[128], -1) << c.name;  // O6's first word
    }
    ConfigImage image{};
    EXPECT_EQ(outputRules(image, 12).on.rel, 1) << "a zeroed image opens with '<'";
    EXPECT_EQ(outputRules(image, 12).off.rel, 1);
    image[88] = 65535;
    image[89] = 65535;
    image[90] = 65535;
    const OutputRuleSet fromUnsigned = outputRules(image, 1);
    image[88] = image[89] = image[90] = -1;
    EXPECT_EQ(outputRules(image, 1), fromUnsigned) << "-1 and 65535 decode alike";
    EXPECT_EQ(fromUnsigned.on, (OutputRule{true, 255, 3, 255, 0, 65535, 3, 255, 0}));
}

TEST(ConfigPacking, PwmCalibrationAndFlags) {
    ConfigImage image{};
    storePwmRule(image, 2, {true, -1, 300, 7, -2, 32767});
    EXPECT_EQ(
        (std::array{image[188], image[189], image[190], image[191]}),
        (std::array<std::int32_t, 4>{8 + 3 + 44 * 256, 7 + 0xFE * 256, 0xFF + 0xFF * 256, 0x7F}));
    EXPECT_EQ(pwmRule(image, 2), (PwmRule{true, 3, 44, 7, -2, 32767}));
    EXPECT_EQ(pwmRule(image, 1), PwmRule{});
    image[184] = image[185] = image[186] = image[187] = -1;
    EXPECT_EQ(pwmRule(image, 1), (PwmRule{true, 3, 255, 255, -1, -1}));

    storeCalibration(image, 16, {40000, -5});
    EXPECT_EQ(image[86], 40000);
    EXPECT_EQ(image[87], -5);
    EXPECT_EQ(calibration(image, 16), (CalibrationPair{40000, -5}));

    image[6] = -1;  // as read from the module
    setModeFlag(image, ModeBit::SterOn, false);
    EXPECT_EQ(image[6], -5) << "other bits kept";
    EXPECT_FALSE(modeFlag(image, ModeBit::SterOn));
    EXPECT_TRUE(modeFlag(image, ModeBit::Hv2cSensor));
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
    EXPECT_EQ(serialNumberText(image), "1234FEFFAB00");
    image[5] = 0x1234;
    EXPECT_EQ(pttDelay(image), 0x34);
    EXPECT_EQ(switchOnDebugText(true, {true, 1, 2, 3, 0, 500, 1, 4, 5}),
              "ster_on=1  set=1  reg1=1  reg2=3  op=2  rel=0  val=500  cp=1  t1=4  t2=5");
    EXPECT_EQ(switchOffDebugText({false, 9, 3, 8, 1, 65535}),
              "clr=0  reg1=9  reg2=8  op=3  rel=1  val=65535");
}

ConfigImage lcdImage(std::initializer_list<std::int32_t> registers) {
    ConfigImage image{};
    int reg = 8;
    for (const auto value : registers) image[static_cast<size_t>(reg++)] = value;
    return image;
}

std::vector<int> lcdBytes(const ConfigImage& image) {
    std::vector<int> bytes;
    for (int k = 8; k < 56; ++k) {
        bytes.push_back(image[static_cast<size_t>(k)] & 0xFF);
        bytes.push_back((image[static_cast<size_t>(k)] >> 8) & 0xFF);
    }
    return bytes;
}

TEST(ConfigLcdText, DecodesAndEncodes) {
    struct Decode {
        ConfigImage image;
        std::string text;
    };
    ConfigImage full{};
    for (int k = 8; k < 56; ++k) full[static_cast<size_t>(k)] = 0x4241;
    std::string fullText;
    for (int k = 0; k < 48; ++k) fullText += "AB";
    const Decode decodes[] = {
        {lcdImage({0x1B54, 0x0005, 0}), "T#27#05"},
        {lcdImage({0x801A, 0}), "#26$80"},
        {lcdImage({0x1A58, 0x0041}), "X#26#65"},
        {lcdImage({0x1A58, 0x0063}), "X#26c"},
        {lcdImage({0x1A1A, 0x0041}), "#26#26A"},
        {lcdImage({-1, 0}), "$FF$FF"},
        {full, fullText},
    };
    for (const auto& d : decodes) EXPECT_EQ(DecodeLcdText(d.image), d.text);

    struct Encode {
        std::string text;
        std::vector<int> bytes;  // then zeros
    };
    const Encode encodes[] = {
        {"T#27#05", {0x54, 0x1B, 0x05, 0}},
        {"AB#5", {'A', 'B', 0}},
        {"A$d4$FE$G0$/5", {'A', 0xD4, 0xFE, 0x00, 0xF5}},
        {"#999", {99, '9'}},
        {"", {}},
    };
    for (const auto& e : encodes) {
        ConfigImage image{};
        image.fill(-1);
        EncodeLcdText(e.text, image);
        std::vector<int> expected = e.bytes;
        expected.resize(96, 0);
        EXPECT_EQ(lcdBytes(image), expected) << e.text;
        EXPECT_EQ(image[7], -1);
        EXPECT_EQ(image[56], -1);
    }
    ConfigImage image{};
    EncodeLcdText(std::string(100, 'Z'), image);
    EXPECT_EQ(lcdBytes(image), std::vector<int>(96, 'Z')) << "cut at 96, no terminator";
    storeLcdTextFromEditing("Ćma ą", image);
    EXPECT_EQ(lcdTextForEditing(image), "$C6ma $B9");
}

TEST(ConfigLcdText, RandomTextsSurviveDecodeAndEncode) {
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        std::vector<int> bytes(random() % 97);
        for (auto& b : bytes) {
            do b = static_cast<int>(random() % 256);
            while (b == 0 || b == '#' || b == '$');
        }
        ConfigImage image{};
        for (size_t i = 0; i < bytes.size(); ++i) image[8 + i / 2] |= bytes[i] << (8 * (i % 2));
        ConfigImage again{};
        EncodeLcdText(DecodeLcdText(image), again);
        EXPECT_EQ(lcdBytes(again), lcdBytes(image)) << DecodeLcdText(image);
    }
}

TEST(ConfigFiles, RoundTripsBitForBitAndRefusesOtherSizes) {
    test::ScratchDir dir;
    ConfigImage image{};
    ASSERT_EQ(saveConfigFile(dir.file("zero.dkq"), image), ConfigFileResult::Ok);
    EXPECT_EQ(test::readFileBytes(dir.file("zero.dkq")), std::string(2048, '\0'));

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

    const ConfigImage before = loaded;
    for (const size_t size : {size_t{0}, size_t{2047}, size_t{2049}, size_t{960}}) {
        std::ofstream(dir.file("cut.dkq"), std::ios::binary)
            << bytes.substr(0, size) << (size > 2048 ? "x" : "");
        size_t seen = 99;
        EXPECT_EQ(loadConfigFile(dir.file("cut.dkq"), loaded, &seen), ConfigFileResult::WrongSize)
            << size;
        EXPECT_EQ(seen, size);
        EXPECT_EQ(loaded, before);
    }
    EXPECT_EQ(configFileMessage(ConfigFileResult::WrongSize, "cut.dkq", 2047),
              "Plik cut.dkq ma długość 2047 B zamiast 2048 B.\nKonfiguracja nie została wczytana.");
    EXPECT_EQ(loadConfigFile(dir.file("none.dkq"), loaded), ConfigFileResult::OpenFailed);
    EXPECT_EQ(saveConfigFile(dir.file("no/such/folder/x.dkq"), image),
              ConfigFileResult::WriteFailed);
    EXPECT_EQ(configFileMessage(ConfigFileResult::WriteFailed, "x.dkq", 0),
              "Błąd zapisu pliku x.dkq.\nKonfiguracja nie została zapisana.");
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 3u) << "no temporary file left behind";
}

}  // namespace
}  // namespace dkq
