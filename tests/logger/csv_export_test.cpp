// The CSV header and rows, part file names and the line table.
#include <gtest/gtest.h>

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

// A record of the given values, dated 2024-03-09 09:07:02.
Record recordWith(std::int32_t number, std::initializer_list<int> values) {
    std::vector<std::uint8_t> frame(KeptRecordBytes, 0);
    frame[0] = 'R';
    frame[2] = static_cast<std::uint8_t>(number);
    frame[3] = static_cast<std::uint8_t>(number >> 8);
    const std::uint8_t date[] = {0x83, 0x49, 0x47, 0x02};
    std::copy(std::begin(date), std::end(date), frame.begin() + 6);
    size_t at = 10;
    for (int v : values) {
        frame[at++] = static_cast<std::uint8_t>(v & 0xFF);
        frame[at++] = static_cast<std::uint8_t>(v >> 8);
    }
    return readRecord(frame);
}

TEST(CsvHeader, NamesEveryLoggedItemInRisingOrder) {
    const auto mask = maskOf({1, 16, 17, 20, 21, 32, 33, 34, 35, 36, 37, 38, 39, 40});
    const LineTable none;
    EXPECT_EQ(buildCsvLayout(mask, none, false).header,
              "Lp;Czas RTC;L1 [V] ;L16 [V] ;CNT_C1 ;CNT_C4 ;O1 ;O12 ;Uzas [V] ;Vcc [V] ;FLASH [%] "
              ";Okres_rej [s] ;Wyjscia [bit] ;PWM1 ;PWM2 ;REG[40] ; Poprawność");
    const CsvLayout temperatures = buildCsvLayout(maskOf({2}), none, true);
    EXPECT_EQ(temperatures.header, "Lp;Czas RTC;L2 [°C] ; Poprawność");
    EXPECT_FALSE(temperatures.unitsHeader);
    EXPECT_EQ(temperatures.items, std::vector<int>{2});
}

LineTable tableWith(std::initializer_list<std::pair<int, LineEntry>> entries) {
    LineTable table;
    table.loaded = true;
    for (int i = 0; i < LineTableEntries; ++i)
        table.entries[static_cast<size_t>(i)].name = "Linia L" + std::to_string(i + 1);
    for (const auto& [item, entry] : entries) {
        table.entries[static_cast<size_t>(item - 1)] = entry;
        if (!entry.unit.empty()) table.namesCarryUnits = true;
    }
    return table;
}

TEST(CsvHeader, TakesNamesAndKindsFromTheLineTable) {
    const LineTable table = tableWith({{1, {kind::Kelvin, 0, 0, "Piec", ""}},
                                       {2, {kind::Raw, 0, 0, "Wilg", ""}},
                                       {17, {kind::Celsius, 0, 0, "Licznik", ""}}});
    const CsvLayout layout = buildCsvLayout(maskOf({1, 2, 17, 33}), table, true);
    EXPECT_EQ(layout.header, "Lp;Czas RTC;Piec [K] ;Wilg  ;Licznik [°C] ;Uzas [V] ; Poprawność");
    EXPECT_EQ(layout.kinds[0], kind::Kelvin);
    EXPECT_EQ(layout.kinds[1], kind::Raw);
}

TEST(CsvHeader, NamesWithUnitsGetASecondLine) {
    const LineTable table = tableWith({{1, {kind::Celsius, 0, 0, "Piec ", "[°C]"}}});
    const CsvLayout layout = buildCsvLayout(maskOf({1, 2, 33}), table, false);
    EXPECT_EQ(layout.header, "Lp;Czas RTC;Piec   ;Linia L2  ;Uzas [V] ; Poprawność");
    EXPECT_EQ(layout.unitsHeader, " ; ;[°C] ; ; ; ");
}

TEST(CsvRow, FormatsEachValueByItem) {
    const CsvLayout layout =
        buildCsvLayout(maskOf({1, 17, 21, 33, 34, 35, 36, 37, 38, 40}), LineTable{}, true);
    const Record record = recordWith(7, {2950, 65535, 11900, 12345, 5000, 37, 60, 4095, 100, 2731});
    EXPECT_EQ(formatRow(record, layout, true),
              "7;2024-03-09  9:07:02;21,9;65535;11,900;12,345;5,000;37%;60;4095;100;-0,1;1");
    EXPECT_TRUE(formatRow(record, layout, false).ends_with(";-0,1;0"));
}

TEST(CsvRow, LineKindsFromTheTable) {
    const LineTable table = tableWith({{1, {kind::Celsius, 0, 0, "a", ""}},
                                       {2, {kind::Volts, 0, 0, "b", ""}},
                                       {3, {kind::Raw, 0, 0, "c", ""}},
                                       {4, {kind::Kelvin, 0, 0, "d", ""}},
                                       {5, {7, 0, 0, "e", ""}}});
    const CsvLayout layout = buildCsvLayout(maskOf({1, 2, 3, 4, 5}), table, true);
    EXPECT_EQ(formatRow(recordWith(1, {2950, 4500, 4092, 2950, 12}), layout, true),
              "1;2024-03-09  9:07:02;21,9;4,500;4092;295,1;12;1");
}

TEST(CsvFiles, ExtensionAndPartNames) {
    const std::pair<const char*, const char*> extended[] = {
        {"dane", "dane.csv"},
        {"dane.csv", "dane.csv"},
        {"DANE.CSV", "DANE.CSV"},
        {"dane.txt", "dane.txt.csv"},
        {"/tmp/x.csv/dane", "/tmp/x.csv/dane.csv"}};
    for (const auto& [chosen, file] : extended) EXPECT_EQ(withCsvExtension(chosen), file);

    const std::tuple<const char*, int, const char*> parts[] = {
        {"dane.csv", 1, "dane_1.csv"},
        {"dane.CSV", 2, "dane_2.csv"},
        {"dane", 1, "dane_1.csv"},
        {"a.csv.b.csv", 3, "a_3.csv"},
        {"/x.csv/dane.csv", 1, "/x.csv/dane_1.csv"}};
    for (const auto& [chosen, part, file] : parts) EXPECT_EQ(partFileName(chosen, part), file);
}

TEST(CsvFiles, WritesWindows1250WithCrLf) {
    test::ScratchDir dir;
    CsvFile file;
    ASSERT_TRUE(file.create(dir.file("a.csv")));
    file.writeLine("Lp; Poprawność");
    file.writeLine("1");
    EXPECT_TRUE(file.flush());
    file.close();
    EXPECT_EQ(test::readFileBytes(dir.file("a.csv")), "Lp; Poprawno\x9C\xE6\r\n1\r\n");
}

void writeCfg(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << encodeTextFile(text);
}

std::string cfgWithEntries(const std::string& magic, const std::vector<std::string>& entries) {
    std::string text = magic + "\n1,9600,0,1,1,60,0,0\nrejestr0.csv\n";
    for (const auto& line : entries) text += line + "\n";
    return text;
}

TEST(LineTable, ReadsKindsNamesAndUnits) {
    test::ScratchDir dir;
    std::vector<std::string> entries(20, "1,0,4092,Napięcie");
    entries[0] = "0,0,4092,Piec [°C]";
    entries[1] = "3,-10,80,Nazwa, z przecinkiem";
    entries[4] = "2,0,4092";
    entries[5] = "1,0,1,Bardzo długa nazwa linii [mV na sekundę razy sto]";
    writeCfg(LineTableFile, cfgWithEntries("DKQ-1", entries));

    const LineTable table = loadLineTable(LineTableFile);
    ASSERT_TRUE(table.loaded);
    EXPECT_TRUE(table.namesCarryUnits);
    const auto& e = table.entries;
    EXPECT_EQ(e[0].kind, kind::Celsius);
    EXPECT_EQ(e[0].maximum, 4092);
    EXPECT_EQ(e[0].name, "Piec ");
    EXPECT_EQ(e[0].unit, "[°C]");
    EXPECT_EQ(e[1].kind, kind::Kelvin);
    EXPECT_EQ(e[1].minimum, -10);
    EXPECT_EQ(e[1].name, "Nazwa, z przeci");
    EXPECT_EQ(e[4].kind, kind::Raw);
    EXPECT_EQ(e[4].name, "Linia L5");
    EXPECT_EQ(e[5].name, "Bardzo długa na");
    EXPECT_EQ(e[5].unit, "[mV na sekundę razy");
    EXPECT_EQ(e[19].name, "Napięcie");
    EXPECT_EQ(e[19].unit, "");
}

TEST(LineTable, OtherFilesLeaveItUnloaded) {
    test::ScratchDir dir;
    EXPECT_FALSE(loadLineTable(LineTableFile).loaded);
    writeCfg(LineTableFile, cfgWithEntries("DKQ-1-5", {"0,0,4092,Piec"}));
    EXPECT_FALSE(loadLineTable(LineTableFile).loaded);
}

TEST(LineTable, AFileEndingEarlyNamesTheMissingLines) {
    test::ScratchDir dir;
    writeCfg(LineTableFile, cfgWithEntries("DKQ-1", {"1,0,4092,Kocioł"}));
    const LineTable table = loadLineTable(LineTableFile);
    ASSERT_TRUE(table.loaded);
    EXPECT_FALSE(table.namesCarryUnits);
    EXPECT_EQ(table.entries[0].name, "Kocioł");
    EXPECT_EQ(table.entries[1].name, "Linia L2");
    EXPECT_EQ(table.entries[19].name, "Linia L20");
}

}  // namespace
}  // namespace dkq::logger
