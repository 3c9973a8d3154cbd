#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/cp1250.h"
#include "common/text.h"
#include "common/text_file.h"
#include "tests/support/sim_process.h"

namespace dkq {
namespace {

TEST(Cp1250, EveryByteSurvivesARoundTrip) {
    std::string all;
    for (int byte = 0; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
    EXPECT_EQ(utf8ToCp1250(cp1250ToUtf8(all)), all);
}

TEST(Cp1250, PolishLettersAndSignsMapToTheirBytes) {
    EXPECT_EQ(utf8ToCp1250("ąćęłńóśźżĄĆĘŁŃÓŚŹŻ°€"),
              "\xB9\xE6\xEA\xB3\xF1\xF3\x9C\x9F\xBF\xA5\xC6\xCA\xA3\xD1\xD3\x8C\x8F\xAF\xB0\x80");
}

TEST(Cp1250, CharactersOutsideTheCodePageBecomeQuestionMarks) {
    EXPECT_EQ(utf8ToCp1250("a中b😀c"), "a?b?c");
    EXPECT_EQ(utf8ToCp1250("x\xC3"), "x?");
}

TEST(TextFile, EncodingWritesCrLfInTheCodePage) {
    EXPECT_EQ(encodeTextFile("T [°C];\nżółw\n"),
              "T [\xB0"
              "C];\r\n\xBF\xF3\xB3w\r\n");
}

TEST(TextFile, LinesEndAtLfWithOrWithoutCr) {
    struct Case {
        std::string bytes;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"", {}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\nb", {"a", "b"}},
        {"\n", {""}},
        {"a\r\n\r\nb", {"a", "", "b"}},
        {"x\ry\n", {"x\ry"}},
        {"\xB9\xE6\r\n", {"ąć"}},
    };
    for (const Case& c : cases) EXPECT_EQ(decodeTextLines(c.bytes), c.lines) << c.bytes;
}

TEST(TextFields, NumbersAreReadAsScanfReadsThem) {
    struct Case {
        std::string text;
        std::size_t maxCount;
        std::vector<int> numbers;
    };
    const std::vector<Case> cases = {
        {"1,2,3", 8, {1, 2, 3}},
        {" 4, 5", 8, {4, 5}},
        {"1 ,2", 8, {1}},
        {"x,1", 8, {}},
        {"-7,+8", 8, {-7, 8}},
        {"12abc,4", 8, {12}},
        {"1,,2", 8, {1}},
        {"1,2,3,4", 3, {1, 2, 3}},
        {"2147483647,-2147483648", 8, {2147483647, -2147483648}},
        {"2147483648,1", 8, {}},
        {"", 8, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(scanIntList(c.text, c.maxCount), c.numbers) << c.text;
}

TEST(TextFields, WordsAndCharacterLimits) {
    EXPECT_EQ(firstWord("  DKQ-1-5 rest"), "DKQ-1-5");
    EXPECT_EQ(firstWord(" \t "), "");
    EXPECT_EQ(limitChars("żółw", 2), "żó");
    EXPECT_EQ(limitChars("abc", 5), "abc");
    EXPECT_EQ(toUpperText("setup.cfg żółć"), "SETUP.CFG ŻÓŁĆ");
}

TEST(TextFields, CommandLineSplitsAtBlanksWithinItsLimits) {
    EXPECT_EQ(splitCommandLine(""), std::vector<std::string>{});
    EXPECT_EQ(splitCommandLine("a.cfg /start"), (std::vector<std::string>{"a.cfg", "/start"}));
    EXPECT_EQ(splitCommandLine("  a   b "), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(splitCommandLine("1 2 3 4 5 6 7 8 9 10 11 12").size(), MaxCommandWords);
    const std::string longWord(300, 'x');
    EXPECT_EQ(splitCommandLine(longWord + " b")[0], std::string(MaxCommandWordChars, 'x'));
}

TEST(TextFields, DateAndTimeHaveNoLeadingZeroOnTheHour) {
    std::tm time{};
    time.tm_year = 124;
    time.tm_mon = 2;
    time.tm_mday = 5;
    time.tm_hour = 7;
    time.tm_min = 8;
    time.tm_sec = 9;
    EXPECT_EQ(formatDateTime(time), "2024-03-05 7:08:09");
}

TEST(Files, WholeFileWriteReplacesAndLeavesNoTemporaryFile) {
    test::ScratchDir dir;
    ASSERT_TRUE(writeWholeFile(dir.file("a.cfg"), "first, longer content"));
    ASSERT_TRUE(writeWholeFile(dir.file("a.cfg"), "second"));
    EXPECT_EQ(test::readFileBytes(dir.file("a.cfg")), "second");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(Files, WritesIntoAMissingFolderFailAndCreateNothing) {
    test::ScratchDir dir;
    EXPECT_FALSE(writeWholeFile(dir.file("missing/a.cfg"), "x"));
    EXPECT_FALSE(appendToFile(dir.file("missing/a.csv"), "x"));
    EXPECT_FALSE(startFile(dir.file("missing/b.csv"), "x"));
    std::string bytes;
    EXPECT_FALSE(readWholeFile(dir.file("missing/a.cfg"), bytes));
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing")));
}

TEST(Files, AFileStartsEmptyThenGrowsByAppends) {
    test::ScratchDir dir;
    ASSERT_TRUE(appendToFile("a.csv", "old\r\n"));
    ASSERT_TRUE(startFile("a.csv", "one\r\n"));
    ASSERT_TRUE(appendToFile("a.csv", "two\r\n"));
    std::string bytes;
    ASSERT_TRUE(readWholeFile("a.csv", bytes));
    EXPECT_EQ(bytes, "one\r\ntwo\r\n");
}

TEST(Files, OnlyTheFileNameIsTurnedToUpperCase) {
    EXPECT_EQ(withUpperCaseFileName("/home/jan/konfiguracje/setup.cfg"),
              "/home/jan/konfiguracje/SETUP.CFG");
    EXPECT_EQ(withUpperCaseFileName("setup.cfg"), "SETUP.CFG");
    EXPECT_EQ(withUpperCaseFileName("/a.b/źródło"), "/a.b/ŹRÓDŁO");
    EXPECT_EQ(fileNameOf("/tmp/x/dane.csv"), "dane.csv");
    EXPECT_EQ(fileNameOf("dane.csv"), "dane.csv");
}

}  // namespace
}  // namespace dkq
