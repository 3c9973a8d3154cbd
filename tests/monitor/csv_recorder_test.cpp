// The CSV record of both monitors: file and part names, parts and their
// headers, and the records that wait while a file cannot be written.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "monitor/csv_recorder.h"
#include "tests/support/core_fakes.h"
#include "tests/support/sim_process.h"

namespace dkq {
namespace {

namespace fs = std::filesystem;

// Two header lines with letters of the code page.
constexpr const char* Header = "Lp;Czas;Łódź;\n;;U [V];\n";

TEST(CsvNames, BaseAndPartNames) {
    std::string names;
    for (const char* field : {"pomiary", "DANE.CSV", "a.csv.old", "x.Csv", "a.CSV.csv"})
        names += baseFileName(field) + " " + makePartPath(baseFileName(field), 7) + "|";
    EXPECT_EQ(names,
              "pomiary.csv pomiary_007.csv|DANE.CSV DANE_007.csv|a.csv.old a_007.csv|"
              "x.Csv.csv x.Csv_007.csv|a.CSV.csv a.CSV_007.csv|");
    EXPECT_EQ(makePartPath("bez", 1), "bez");
}

class CsvRecorderTest : public ::testing::Test {
  protected:
    // A folder in the file's place can be neither opened nor replaced, like a
    // file a spreadsheet holds on Windows.
    void record(CsvRecorder& recorder, int count) {
        recorder.record(count, time_, std::to_string(count) + ";", Header);
    }
    // The records first..last as written: Windows-1250, CR LF.
    static std::string lines(int first, int last) {
        std::string bytes;
        for (int count = first; count <= last; ++count)
            bytes +=
                std::to_string(count) + ";2023-12-31 23:59:59;" + std::to_string(count) + ";\r\n";
        return bytes;
    }

    test::ScratchDir dir_;
    std::tm time_ = test::localTime("2023-12-31 23:59:59");
    const std::string header_ = "Lp;Czas;\xA3\xF3\x64\x9F;\r\n;;U [V];\r\n";
};

TEST_F(CsvRecorderTest, PartsHold43200RecordsWrapAfterPart999AndAStartBeginsAfresh) {
    CsvRecorder recorder(1);
    ASSERT_TRUE(recorder.startRecording("DANE.CSV", true, Header));
    EXPECT_EQ(recorder.currentPath(), "DANE_000.csv");
    for (int count = 1; count <= 1001; ++count) record(recorder, count);
    EXPECT_EQ(recorder.currentPath(), "DANE_000.csv");
    EXPECT_EQ(test::readFileBytes("DANE_000.csv"), header_ + lines(1001, 1001));
    EXPECT_EQ(test::readFileBytes("DANE_001.csv"), header_ + lines(2, 2));
    EXPECT_EQ(test::readFileBytes("DANE_999.csv"), header_ + lines(1000, 1000));
    EXPECT_FALSE(fs::exists("DANE_1000.csv"));
    ASSERT_TRUE(recorder.startRecording("DANE.CSV", true, Header));
    EXPECT_EQ(test::readFileBytes("DANE_000.csv"), header_);

    CsvRecorder byDefault;
    ASSERT_TRUE(byDefault.startRecording("p", true, Header));
    for (int count = 1; count <= 43201; ++count) record(byDefault, count);
    EXPECT_EQ(test::readFileBytes("p_001.csv"), header_ + lines(43201, 43201));
}

// Records wait for a file that cannot be written, up to a bound past which
// the oldest are dropped and counted; a new part waits with its header while
// the others are written.
TEST_F(CsvRecorderTest, RecordsWaitForTheirFileUpToABound) {
    CsvRecorder recorder(DefaultRecordsPerPart, 3);
    ASSERT_TRUE(recorder.startRecording("pomiary.csv", false, Header));
    fs::remove("pomiary.csv");
    fs::create_directory("pomiary.csv");
    for (int count = 1; count <= 5; ++count) record(recorder, count);
    EXPECT_EQ(recorder.waitingRecords() * 10 + recorder.droppedRecords(), 32u);
    fs::remove("pomiary.csv");
    recorder.retryWaiting();
    EXPECT_EQ(test::readFileBytes("pomiary.csv"), lines(3, 5));
    EXPECT_EQ(recorder.lostRecords(), 2u);  // the dropped ones stay lost

    CsvRecorder parts(2);
    ASSERT_TRUE(parts.startRecording("p.csv", true, Header));
    fs::create_directory("p_001.csv");
    for (int count = 1; count <= 5; ++count) record(parts, count);
    EXPECT_EQ(parts.waitingRecords(), 2u);  // 3 and 4; 5 went to part 002
    fs::remove("p_001.csv");
    parts.retryWaiting();
    EXPECT_EQ(parts.waitingRecords(), 0u);
    EXPECT_EQ(test::readFileBytes("p_000.csv") + test::readFileBytes("p_001.csv") +
                  test::readFileBytes("p_002.csv"),
              header_ + lines(1, 2) + header_ + lines(3, 4) + header_ + lines(5, 5));
}

// A file size limit makes writes fail part way through a row, as a full disk
// does: each row lands whole or not at all, and waits until it fits.
TEST_F(CsvRecorderTest, AFullDiskNeverLeavesPartOfARow) {
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        CsvRecorder recorder;
        bool ok = recorder.startRecording("pomiary.csv", false, Header);
        record(recorder, 1);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlim_t before = limit.rlim_cur;
        limit.rlim_cur = fs::file_size("pomiary.csv") + 18;
        setrlimit(RLIMIT_FSIZE, &limit);
        record(recorder, 2);
        record(recorder, 3);
        ok = ok && recorder.waitingRecords() == 2;
        limit.rlim_cur = before;
        setrlimit(RLIMIT_FSIZE, &limit);
        record(recorder, 4);
        _exit(ok && recorder.waitingRecords() == 0 ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(test::readFileBytes("pomiary.csv"), header_ + lines(1, 4));
}

}  // namespace
}  // namespace dkq
