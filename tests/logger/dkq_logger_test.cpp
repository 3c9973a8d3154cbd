// The dkq record memory commands against dkqsim: what a script sees on its
// output, in its files and in the exit status.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>

#include "common/text.h"
#include "logger/logger_messages.h"
#include "tests/logger/sim_records.h"
#include "tests/support/sim_process.h"

namespace dkq::test {
namespace {

struct ToolRun {
    int exit = -1;
    std::string out;
    std::string err;
};

// Output lines of UTF-8 text.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t from = 0; from < text.size();) {
        const size_t end = std::min(text.find('\n', from), text.size());
        lines.push_back(text.substr(from, end - from));
        from = end + 1;
    }
    return lines;
}

std::string quoted(const std::string& word) {
    return "'" + word + "'";
}

class DkqLogger : public ::testing::Test {
  protected:
    void startSim(std::vector<std::string> options) {
        options.insert(options.begin(), {"--tcp", "127.0.0.1:0"});
        sim = std::make_unique<SimProcess>(options);
    }
    ToolRun dkq(const std::vector<std::string>& words, int port = 0) {
        std::string command = quoted(toolPath("DKQ_TOOL")) +
                              " --tcp 127.0.0.1:" + std::to_string(port ? port : sim->tcpPort());
        for (const auto& word : words) command += " " + quoted(word);
        command += " >out.txt 2>err.txt";
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFileBytes("out.txt"),
                readFileBytes("err.txt")};
    }
    std::vector<std::string> statusLines() {
        const ToolRun run = dkq({"logger-status"});
        EXPECT_EQ(run.exit, 0) << run.err;
        return linesOf(run.out);
    }

    ScratchDir dir;
    std::unique_ptr<SimProcess> sim;
};

TEST_F(DkqLogger, StatusIsPrintedOneItemALine) {
    startSim({"--rec-count", "120", "--rec-items", "1-3,33", "--rec-clock", "2024-05-06 07:08:09"});
    const auto lines = statusLines();
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[0], "Wersja modułu: V1.7");
    EXPECT_EQ(lines[2], "Liczba rekordów w pamięci: 120");
    EXPECT_EQ(lines[4], "Długość rekordu [B]: 18");
    EXPECT_EQ(lines[10].substr(0, 37), "Ustawienie zegara: 2024-05-06  7:08:0");
    EXPECT_EQ(lines[12], "Logowane rejestry: L1 L2 L3 Uzas");
}

TEST_F(DkqLogger, DownloadWritesTheRecordsAsTheSimulatorHoldsThem) {
    std::vector<std::string> options = kItems;
    options.insert(options.end(), {"--rec-count", "100"});
    startSim(options);
    const ToolRun run = dkq({"logger-download", "dane.csv", "--temperatures"});
    EXPECT_EQ(run.exit, 0) << run.err;
    std::string expected = std::string(kHeader) + "\n";
    for (const auto& row : expectedRows(1, 100)) expected += row + "\n";
    EXPECT_EQ(readFileBytes("dane.csv"), encodeTextFile(expected));
    EXPECT_EQ(run.out, logger::formatText(logger::text::Finished, 100LL, 0LL, 0, 0) + "\n");
    EXPECT_TRUE(run.err.ends_with("\rNr rekordu: 100 / 100\n")) << run.err;
}

TEST_F(DkqLogger, SettingsClockAndClearChangeTheModule) {
    startSim({"--rec-count", "50", "--rec-items", "1"});
    const ToolRun settings =
        dkq({"logger-settings", "--on", "--period", "120", "--items", "1-2,34"});
    EXPECT_EQ(settings.exit, 0) << settings.err;
    EXPECT_EQ(settings.out, std::string(logger::text::SettingsSent) + "\n");
    EXPECT_EQ(settings.err, std::string(logger::text::ClearAfterItemsChange) + "\n");

    const ToolRun clock = dkq({"logger-clock"});
    EXPECT_EQ(clock.exit, 0) << clock.err;
    EXPECT_EQ(clock.out, std::string(logger::text::ClockSet) + "\n");

    const ToolRun clear = dkq({"logger-clear"});
    EXPECT_EQ(clear.exit, 0) << clear.err;
    EXPECT_EQ(clear.out, std::string(logger::text::Cleared) + "\n");

    const auto lines = statusLines();
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[2], "Liczba rekordów w pamięci: 0");
    EXPECT_EQ(lines[6], "Okres logowania [s]: 120");
    EXPECT_EQ(lines[7], "Logowanie włączone: tak");
    EXPECT_EQ(lines[8], "Bufor cykliczny: nie");
    EXPECT_EQ(lines[12], "Logowane rejestry: L1 L2 Vcc");

    const ToolRun empty = dkq({"logger-download", "pusty.csv"});
    EXPECT_EQ(empty.exit, 0);
    EXPECT_EQ(empty.err, std::string(logger::text::NoRecords) + "\n");
}

TEST_F(DkqLogger, UsageErrorsOpenNothing) {
    const std::vector<std::vector<std::string>> wrong = {
        {"logger-download"},
        {"logger-download", "a.csv", "b.csv"},
        {"logger-download", "a.csv", "--split=1"},
        {"logger-status", "x"},
        {"logger-settings"},
        {"logger-settings", "--on", "--off"},
        {"logger-settings", "--items", "40"},
        {"logger-settings", "--items", "3-1"},
        {"logger-settings", "--period", "65536"},
    };
    for (const auto& words : wrong) EXPECT_EQ(dkq(words, 1).exit, 64) << words[0];
}

TEST_F(DkqLogger, ALineThatCannotBeOpenedExitsWithNine) {
    const ToolRun run = dkq({"logger-status"}, 1);
    EXPECT_EQ(run.exit, 9);
    EXPECT_EQ(run.err, "Błąd połączenia w sieci !\nAdres IP (127.0.0.1:1) nie odpowiada.\n");
}

}  // namespace
}  // namespace dkq::test
