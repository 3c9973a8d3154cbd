// The CSV header, part file names, whole rows on a full disk and the line table.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/text.h"
#include "logger/csv_export.h"
#include "logger/line_table.h"
#include "tests/support/sim_process.h"

namespace dkq::logger {
namespace {

LoggedItemMask maskOf(std::initializer_list<int> items) {
    LoggedItemMask mask{};
    for (int item : items) setLogged(mask, item, true);
    return mask;
}

LineTable tableWith(std::initializer_list<std::pair<int, LineEntry>> entries) {
    LineTable table;
    table.loaded = true;
    for (int i = 0; i < LineTableEntries; ++i)
        table.entries[static_cast<size_t>(i)].name = "Linia L" + std::to_string(i + 1);
    for (const auto& [item, entry] : entries) table.entries[static_cast<size_t>(item - 1)] = entry;
    return table;
}

TEST(CsvLayout, HeaderNamesEveryLoggedItemInRisingOrder) {
    const LineTable none;
    EXPECT_EQ(
        buildCsvLayout(maskOf({1, 16, 17, 20, 21, 32, 33, 34, 35, 36, 37, 38, 39, 40}), none, false)
            .header,
        "Lp;Czas RTC;L1 [V] ;L16 [V] ;CNT_C1 ;CNT_C4 ;O1 ;O12 ;Uzas [V] ;Vcc [V] ;FLASH [%] "
        ";Okres_rej [s] ;Wyjscia [bit] ;PWM1 ;PWM2 ;REG[40] ; Poprawność");
    EXPECT_EQ(buildCsvLayout(maskOf({2}), none, true).header, "Lp;Czas RTC;L2 [°C] ; Poprawność");
    const LineTable table = tableWith({{1, {kind::Kelvin, 0, 0, "Piec", ""}},
                                       {2, {kind::Raw, 0, 0, "Wilg", ""}},
                                       {17, {kind::Celsius, 0, 0, "Licznik", ""}}});
    EXPECT_EQ(buildCsvLayout(maskOf({1, 2, 17, 33}), table, true).header,
              "Lp;Czas RTC;Piec [K] ;Wilg  ;Licznik [°C] ;Uzas [V] ; Poprawność");
}

// Rows are seen in the download tests, by item and by line kind.
TEST(CsvFiles, ExtensionAndPartNames) {
    // Plain names are seen in the download tests.
    const std::pair<const char*, const char*> extended[] = {
        {"DANE.CSV", "DANE.CSV"},
        {"dane.txt", "dane.txt.csv"},
        {"/tmp/x.csv/dane", "/tmp/x.csv/dane.csv"}};
    for (const auto& [chosen, file] : extended) EXPECT_EQ(withCsvExtension(chosen), file);
    const std::tuple<const char*, int, const char*> parts[] = {
        {"dane.CSV", 2, "dane_2.csv"},
        {"a.csv.b.csv", 3, "a_3.csv"},
        {"/x.csv/dane.csv", 1, "/x.csv/dane_1.csv"}};
    for (const auto& [chosen, part, file] : parts) EXPECT_EQ(partFileName(chosen, part), file);
}

void writeCfg(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\n";
    std::ofstream(LineTableFile, std::ios::binary) << encodeTextFile(text);
}

std::string entryText(const LineTable& table, int line) {
    const LineEntry& e = table.entries[static_cast<size_t>(line - 1)];
    return std::to_string(e.kind) + "," + std::to_string(e.minimum) + "," +
           std::to_string(e.maximum) + "," + e.name + "|" + e.unit;
}

TEST(LineTable, ReadsKindsRangesNamesAndUnitsFromItsFileOnly) {
    test::ScratchDir dir;
    std::vector<std::string> lines(23, "1,0,4092,Napięcie");
    lines[0] = "DKQ-1";
    lines[1] = "1,9600,0,1,1,60,0,0";
    lines[2] = "rejestr0.csv";
    lines[3] = "0,0,4092,Piec [°C]";
    lines[4] = "3,-10,80,Nazwa, z przecinkiem";
    lines[7] = "2,0,4092";
    lines[8] = "1,0,1,Bardzo długa nazwa linii [mV na sekundę razy sto]";
    writeCfg(lines);
    const LineTable table = loadLineTable(LineTableFile);
    ASSERT_TRUE(table.loaded);
    EXPECT_TRUE(table.namesCarryUnits);
    EXPECT_EQ(entryText(table, 1), "0,0,4092,Piec |[°C]");
    EXPECT_EQ(entryText(table, 2), "3,-10,80,Nazwa, z przeci|");
    EXPECT_EQ(entryText(table, 5), "2,0,4092,Linia L5|");
    EXPECT_EQ(entryText(table, 6), "1,0,1,Bardzo długa na|[mV na sekundę razy");
    EXPECT_EQ(entryText(table, 20), "1,0,4092,Napięcie|");
    // Other files leave it unloaded, a short one names the missing lines.
    std::filesystem::remove(LineTableFile);
    EXPECT_FALSE(loadLineTable(LineTableFile).loaded);
    writeCfg({"DKQ-1-5", "1,9600,0,1,1,60,0,0", "rejestr0.csv", "0,0,4092,Piec"});
    EXPECT_FALSE(loadLineTable(LineTableFile).loaded);
    writeCfg({"DKQ-1", "1,9600,0,1,1,60,0,0", "rejestr0.csv", "1,0,4092,Kocioł"});
    const LineTable shortTable = loadLineTable(LineTableFile);
    ASSERT_TRUE(shortTable.loaded);
    EXPECT_FALSE(shortTable.namesCarryUnits);
    EXPECT_EQ(entryText(shortTable, 1) + entryText(shortTable, 2) + entryText(shortTable, 20),
              "1,0,4092,Kocioł|0,0,0,Linia L2|0,0,0,Linia L20|");
}

// A file size limit makes the write of a batch fail part way, as a full disk
// does: the file keeps the batches before it whole and no part of the rest.
TEST(CsvFileTest, AFullDiskLeavesNoPartOfARow) {
    test::ScratchDir dir;
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        CsvFile file;
        bool ok = file.create("rekordy.csv");
        file.writeLine("1;a;");
        ok = ok && file.flush();
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = std::filesystem::file_size("rekordy.csv") + 4;
        setrlimit(RLIMIT_FSIZE, &limit);
        file.writeLine("2;b;");
        file.writeLine("3;c;");
        ok = ok && !file.flush() && !file.flush();
        file.close();
        _exit(ok ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(test::readFileBytes("rekordy.csv"), "1;a;\r\n");
}

}  // namespace
}  // namespace dkq::logger
