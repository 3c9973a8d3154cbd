// The dkq record memory commands against dkqsim: what a script sees on its
// output, in its files and in the exit status.
#include <gtest/gtest.h>

#include "logger/logger_messages.h"
#include "tests/logger/logger_rig.h"

namespace dkq::test {
namespace {

using namespace dkq::logger;

ToolRun dkq(int port, const std::string& words) {
    std::string arguments = "--tcp 127.0.0.1:";
    arguments.append(std::to_string(port)).append(" ").append(words);
    return runDkq(arguments);
}

TEST(DkqLogger, CommandsReadAndChangeTheModule) {
    LoggerRig rig({"--rec-count", "100", "--rec-clock", "2024-05-06 07:08:09"});
    const std::string line = "\n";
    // Words, what the output holds, how the error output ends.
    const std::tuple<std::string, Lines, std::string> steps[] = {
        {"logger-status",
         {"Wersja modułu: V1.7\n", "Liczba rekordów w pamięci: 100\n", "Długość rekordu [B]: 30\n",
          "Ustawienie zegara: 2024-05-06  7:08:",
          "Logowane rejestry: L1 L2 C1 O1 Uzas Vcc FLASH% Okres rejestracji Stan wyjść"},
         ""},
        {"logger-download dane.csv --temperatures",
         {formatText(text::Finished, 100LL, 0LL, 0, 0) + line},
         "\rNr rekordu: 100 / 100\n"},
        {"logger-settings --on --period 120 --items 1-2,34",
         {text::SettingsSent + line},
         text::ClearAfterItemsChange + line},
        {"logger-clock", {text::ClockSet + line}, ""},
        {"logger-clear", {text::Cleared + line}, ""},
        {"logger-download pusty.csv", {}, text::NoRecords + line},
    };
    for (const auto& [words, out, err] : steps) {
        const ToolRun run = dkq(rig.sim->tcpPort(), words);
        EXPECT_EQ(run.status, 0) << words << ": " << run.err;
        for (const auto& part : out) EXPECT_NE(run.out.find(part), std::string::npos) << part;
        EXPECT_TRUE(run.err.ends_with(err)) << run.err;
    }
    EXPECT_EQ(rig.rows().at(99), expectedRow(100));
    EXPECT_EQ(rig.sim->takeLines("rx *LG"), std::vector<std::string>{"rx *LG=1,0,120,3,0,0,0,2"});
}

TEST(DkqLogger, UsageErrorsAndALineThatCannotBeOpened) {
    ScratchDir dir;
    for (const char* words :
         {"logger-download", "logger-download a.csv b.csv", "logger-download a.csv --split=1",
          "logger-status x", "logger-settings", "logger-settings --on --off",
          "logger-settings --items 40", "logger-settings --items 3-1",
          "logger-settings --period 65536"})
        EXPECT_EQ(dkq(1, words).status, 64) << words;
    const ToolRun run = dkq(1, "logger-status");
    EXPECT_EQ(run.status, 9);
    EXPECT_EQ(run.err, "Błąd połączenia w sieci !\nAdres IP (127.0.0.1:1) nie odpowiada.\n");
}

}  // namespace
}  // namespace dkq::test
