#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/text.h"
#include "multimon/csv_recorder.h"
#include "tests/support/sim_process.h"

namespace dkq {
namespace {

namespace fs = std::filesystem;

TEST(CsvNames, BaseAndPartNames) {
    struct Case {
        const char* field;
        const char* base;
        const char* part7;
    };
    for (const Case& c :
         {Case{"pomiary", "pomiary.csv", "pomiary_007.csv"},
          Case{"DANE.CSV", "DANE.CSV", "DANE_007.csv"}, Case{"a.csv.old", "a.csv.old", "a_007.csv"},
          Case{"x.Csv", "x.Csv.csv", "x.Csv_007.csv"},
          Case{"a.CSV.csv", "a.CSV.csv", "a.CSV_007.csv"}}) {
        EXPECT_EQ(baseFileName(c.field), c.base);
        EXPECT_EQ(makePartPath(c.base, 7), c.part7);
    }
    EXPECT_EQ(makePartPath("bez", 1), "bez");
}

// Modules A and C switched on; A's first lines of every kind.
ModuleTable twoModules() {
    ModuleTable modules = defaultModuleTable();
    modules[2].busAddress = 5;
    modules[0].channels[0] = {KindCelsius, 0, 0, "Temp"};
    modules[0].channels[1] = {KindKelvin, 0, 0, "Kelwin"};
    modules[0].channels[2] = {KindRaw, 0, 0, "Surowa"};
    modules[0].channels[3] = {6, 0, 0, "Inna"};
    return modules;
}

TEST(CsvHeader, NamesThenUnitsOfTheSwitchedOnModules) {
    const std::string header = csvHeader(twoModules());
    const auto lines = decodeTextLines(encodeTextFile(header));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(std::count(lines[0].begin(), lines[0].end(), ';'), 42);
    EXPECT_EQ(std::count(lines[1].begin(), lines[1].end(), ';'), 41);  // no unit for kind 6
    EXPECT_TRUE(lines[0].starts_with("Lp;Czas   ;Temp;Kelwin;Surowa;Inna;Linia5A;"));
    EXPECT_TRUE(
        lines[0].ends_with("Cnt4A;Linia1C;Linia2C;Linia3C;Linia4C;Linia5C;Linia6C;"
                           "Linia7C;Linia8C;Linia9C;Linia10C;Linia11C;Linia12C;"
                           "Linia13C;Linia14C;Linia15C;Linia16C;Cnt1C;Cnt2C;Cnt3C;Cnt4C;"));
    EXPECT_TRUE(lines[1].starts_with(";;T [°C];T [K];[0-4092];U [V];"));
    EXPECT_TRUE(lines[1].ends_with("U [V];[imp];[imp];[imp];[imp];"));
}

std::tm at(int second) {
    std::tm time{};
    time.tm_year = 123;
    time.tm_mon = 11;
    time.tm_mday = 31;
    time.tm_hour = 23;
    time.tm_min = 59;
    time.tm_sec = second;
    return time;
}

std::string record(int count, int second, const std::string& row) {
    return encodeTextFile(csvRecordLine(count, at(second), row));
}

class CsvRecorderTest : public ::testing::Test {
  protected:
    // Takes the file away and puts a folder in its place: it can be neither
    // opened nor replaced, like a file a spreadsheet holds on Windows.
    void block(const std::string& path) {
        if (fs::exists(path)) fs::rename(path, path + ".held");
        fs::create_directory(path);
    }
    void release(const std::string& path) {
        fs::remove(path);
        if (fs::exists(path + ".held")) fs::rename(path + ".held", path);
    }

    test::ScratchDir dir_;
    ModuleTable modules_ = defaultModuleTable();
    std::string header_ = encodeTextFile(csvHeader(defaultModuleTable()));
};

TEST_F(CsvRecorderTest, EveryStartAppendsAHeaderWithoutSplitting) {
    CsvRecorder recorder;
    ASSERT_TRUE(recorder.startRecording("pomiary", false, modules_));
    recorder.record(1, at(1), "1;", modules_);
    ASSERT_TRUE(recorder.startRecording("pomiary", false, modules_));
    recorder.record(1, at(2), "2;", modules_);
    EXPECT_EQ(test::readFileBytes("pomiary.csv"),
              header_ + record(1, 1, "1;") + header_ + record(1, 2, "2;"));
    EXPECT_FALSE(recorder.splitting());
}

TEST_F(CsvRecorderTest, PartsWrapAfterPart999AndStartAfresh) {
    CsvRecorder recorder(1);
    ASSERT_TRUE(recorder.startRecording("DANE.CSV", true, modules_));
    EXPECT_EQ(recorder.currentPath(), "DANE_000.csv");
    for (int count = 1; count <= 1001; ++count)
        recorder.record(count, at(count % 60), "x;", modules_);
    EXPECT_EQ(recorder.currentPath(), "DANE_000.csv");
    EXPECT_EQ(test::readFileBytes("DANE_000.csv"), header_ + record(1001, 1001 % 60, "x;"));
    EXPECT_EQ(test::readFileBytes("DANE_001.csv"), header_ + record(2, 2, "x;"));
    EXPECT_EQ(test::readFileBytes("DANE_999.csv"), header_ + record(1000, 1000 % 60, "x;"));
    EXPECT_FALSE(fs::exists("DANE_1000.csv"));
    // A new START rewrites part 000.
    ASSERT_TRUE(recorder.startRecording("DANE.CSV", true, modules_));
    EXPECT_EQ(test::readFileBytes("DANE_000.csv"), header_);
}

TEST_F(CsvRecorderTest, ARecordPartWithTheDefaultSizeHolds43200Records) {
    CsvRecorder recorder;
    ASSERT_TRUE(recorder.startRecording("p", true, modules_));
    for (int count = 1; count <= DefaultRecordsPerPart; ++count)
        recorder.record(count, at(0), "", modules_);
    EXPECT_FALSE(fs::exists("p_001.csv"));
    recorder.record(DefaultRecordsPerPart + 1, at(0), "", modules_);
    EXPECT_EQ(test::readFileBytes("p_001.csv"), header_ + record(DefaultRecordsPerPart + 1, 0, ""));
}

TEST_F(CsvRecorderTest, AStartWhoseFileCannotBeOpenedKeepsNothing) {
    block("pomiary.csv");
    CsvRecorder recorder;
    EXPECT_FALSE(recorder.startRecording("pomiary.csv", false, modules_));
    EXPECT_EQ(recorder.waitingRecords(), 0u);
    release("pomiary.csv");
    ASSERT_TRUE(recorder.startRecording("pomiary.csv", false, modules_));
    EXPECT_EQ(test::readFileBytes("pomiary.csv"), header_);
}

TEST_F(CsvRecorderTest, RecordsWaitInOrderWhileTheFileIsHeld) {
    CsvRecorder recorder;
    ASSERT_TRUE(recorder.startRecording("pomiary.csv", false, modules_));
    recorder.record(1, at(1), "a;", modules_);
    block("pomiary.csv");
    recorder.record(2, at(2), "b;", modules_);
    recorder.record(3, at(3), "c;", modules_);
    EXPECT_EQ(recorder.waitingRecords(), 2u);
    release("pomiary.csv");
    recorder.record(4, at(4), "d;", modules_);
    EXPECT_EQ(recorder.waitingRecords(), 0u);
    EXPECT_EQ(test::readFileBytes("pomiary.csv"), header_ + record(1, 1, "a;") +
                                                      record(2, 2, "b;") + record(3, 3, "c;") +
                                                      record(4, 4, "d;"));
}

TEST_F(CsvRecorderTest, PastTheBoundTheOldestWaitingRecordsAreDroppedAndCounted) {
    CsvRecorder recorder(DefaultRecordsPerPart, 3);
    ASSERT_TRUE(recorder.startRecording("pomiary.csv", false, modules_));
    block("pomiary.csv");
    for (int count = 1; count <= 5; ++count) recorder.record(count, at(count), "r;", modules_);
    EXPECT_EQ(recorder.waitingRecords(), 3u);
    EXPECT_EQ(recorder.droppedRecords(), 2);
    release("pomiary.csv");
    recorder.retryWaiting();
    EXPECT_EQ(test::readFileBytes("pomiary.csv"),
              header_ + record(3, 3, "r;") + record(4, 4, "r;") + record(5, 5, "r;"));
}

TEST_F(CsvRecorderTest, ANewPartWaitsWithItsHeaderWhileTheOldOneIsWritten) {
    CsvRecorder recorder(2);
    ASSERT_TRUE(recorder.startRecording("p.csv", true, modules_));
    recorder.record(1, at(1), "1;", modules_);
    recorder.record(2, at(2), "2;", modules_);
    block("p_001.csv");
    recorder.record(3, at(3), "3;", modules_);
    recorder.record(4, at(4), "4;", modules_);
    recorder.record(5, at(5), "5;", modules_);  // part 002 can be written
    EXPECT_EQ(recorder.waitingRecords(), 2u);
    release("p_001.csv");
    recorder.retryWaiting();
    EXPECT_EQ(recorder.waitingRecords(), 0u);
    EXPECT_EQ(test::readFileBytes("p_000.csv"), header_ + record(1, 1, "1;") + record(2, 2, "2;"));
    EXPECT_EQ(test::readFileBytes("p_001.csv"), header_ + record(3, 3, "3;") + record(4, 4, "4;"));
    EXPECT_EQ(test::readFileBytes("p_002.csv"), header_ + record(5, 5, "5;"));
}

}  // namespace
}  // namespace dkq
