// DKQ-Logger's rules without the window: the status fields for the line and
// port of the fields, the edit fields' ranges.
#include <gtest/gtest.h>

#include "dkq-logger/logger_core.h"
#include "tests/support/sim_process.h"
#include "tests/support/stored_settings.h"

namespace dkq {
namespace {

using logger::StatusAnswer;

TEST(StatusTexts, FiguresAndBothEstimateFormsFollowTheLineAndPort) {
    const StatusTexts none = statusTexts(std::nullopt, {});
    EXPECT_EQ(none.version + none.memorySize + none.occupancy + none.clock + none.downloadTime, "");
    EXPECT_EQ(none.recordCount + none.maxRecords + none.recordLength + none.period + none.capacity,
              "00000");

    StatusAnswer s;
    s.version[0] = '1';
    s.version[1] = '7';
    s.recordsPerBlock = 16;
    s.blockCount = 4096;
    s.recordLength = 30;
    s.periodSeconds = 60;
    s.occupancyPercent = 37;
    s.loggingOn = true;
    s.clock = {2, 7, 9, 5, 3, 24};
    // Records, TCP, COM port, the estimate shown.
    const std::tuple<std::int64_t, bool, int, const char*> estimates[] = {
        {10000, false, 3, "39.9 sekund"},  {10000, false, 1, "36.2 sekund"},
        {10000, false, 2, "36.2 sekund"},  {100000, true, 1, "10 min 56 sek"},
        {24000, false, 3, "1 min 35 sek"}, {22500, false, 3, "89.8 sekund"},
        {0, true, 1, "0.0 sekund"},
    };
    for (const auto& [records, tcp, comPort, estimate] : estimates) {
        s.recordCount = records;
        LoggerFields fields;
        fields.link.useTcp = tcp;
        fields.link.comPort = comPort;
        const StatusTexts t = statusTexts(s, fields);
        EXPECT_EQ(t.downloadTime, estimate) << records << (tcp ? " TCP" : " COM");
        EXPECT_EQ(t.recordCount, std::to_string(records));
        EXPECT_EQ(std::vector<std::string>({t.version, t.memorySize, t.maxRecords, t.recordLength,
                                            t.occupancy, t.period, t.capacity, t.clock}),
                  std::vector<std::string>({"V1.7", " 1.9", "65520", "30", "37 %", "60", "1092",
                                            "2024-03-05  9:07:02"}));
        EXPECT_TRUE(t.loggingOn && !t.cyclicBuffer);
    }
}

TEST(LoggerFields, EditFieldsAreTakenInOrderUpToTheFirstOutOfRange) {
    // Texts, the field refused (none: all taken), its prompt.
    const std::tuple<FieldTexts, std::optional<int>, const char*> cases[] = {
        {{"255", "1200", "10.0.0.1", "0"}, std::nullopt, ""},
        {{"4", "256000", std::string(255, '1'), "65535"}, std::nullopt, ""},
        {{"0", "9600", "a", "23"}, ComPortField, "Please enter an integer between 1 and 255."},
        {{"3", "256001", "a", "23"},
         SpeedField,
         "Please enter an integer between 1200 and 256000."},
        {{"3", "9600", std::string(256, '1'), "23"},
         IpAddressField,
         "Please enter no more than 255 characters."},
        {{"3", "9600", "a", "65536"}, TcpPortField, "Please enter an integer between 0 and 65535."},
        {{"3", "9600", "a", "x"}, TcpPortField, "Please enter an integer."},
    };
    for (const auto& [texts, field, prompt] : cases) {
        LoggerFields fields;
        const auto problem = readFieldTexts(texts, fields);
        ASSERT_EQ(problem.has_value(), field.has_value()) << texts.comPort << texts.speed;
        if (!field) {
            EXPECT_EQ(fieldTexts(fields).tcpPort, texts.tcpPort);
            continue;
        }
        EXPECT_EQ(problem->field, *field);
        EXPECT_EQ(problem->prompt, prompt);
        // The fields before the refused one are taken.
        EXPECT_EQ(fields.link.comPort, *field > ComPortField ? 3 : 1);
        EXPECT_EQ(fields.link.ipAddress, *field > IpAddressField ? "a" : "192.168.2.1");
    }
}

// Stored settings out of their fields' ranges are taken into them, so that
// "Połącz" finds every field it checks valid.
TEST(LoggerFields, StoredValuesAreTakenIntoTheFieldsRanges) {
    test::ScratchDir dir;
    setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    test::storeSettings(LoggerKeyPath, {{"ComPORT", 999u},
                                        {"Speed", 0u},
                                        {"Port_TCP", 70000u},
                                        {"Adres_IP", std::string(300, '7')}});
    LoggerFields fields;
    loadLoggerSettings(fields);
    EXPECT_EQ(std::tie(fields.link.comPort, fields.link.speed, fields.link.tcpPort),
              std::make_tuple(255, 1200, 65535));
    EXPECT_EQ(fields.link.ipAddress, std::string(255, '7'));
    EXPECT_FALSE(readFieldTexts(fieldTexts(fields), fields).has_value());
}

}  // namespace
}  // namespace dkq
