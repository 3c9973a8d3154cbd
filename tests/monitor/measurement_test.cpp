#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

#include "monitor/csv_file_chooser.h"
#include "monitor/measurement.h"

namespace dkq {
namespace {

TEST(DisplayChain, LinesShowAndRecordByKindInSinglePrecision) {
    struct Case {
        int raw;
        int kind;
        const char* text;
        const char* cell;
    };
    const std::vector<Case> cases = {
        {2982, KindCelsius, "25.1°C", "25.1;"},  // the float chain gives 25.050013
        {2731, KindCelsius, "-0.0°C", "-0.0;"},  {2940, KindCelsius, "20.9°C", "20.9;"},
        {3000, KindKelvin, "300.0 K", "300.0;"}, {4092, KindVolts, "4.092 V", "4.092;"},
        {0, KindVolts, "0.000 V", "0.000;"},     {65535, KindVolts, "65.535 V", "65.535;"},
        {1234, KindRaw, "1234", "1234;"},        {1234, 7, "1234", "1234;"},
    };
    for (const Case& c : cases) {
        const EntryReading reading = lineReading(c.raw, c.kind);
        EXPECT_EQ(reading.text, c.text) << c.raw << " kind " << c.kind;
        EXPECT_EQ(reading.csvCell, c.cell) << c.raw << " kind " << c.kind;
    }
}

TEST(DisplayChain, CountersAreUnsignedNumbers) {
    EXPECT_EQ(counterReading(40000).text, "40000");
    EXPECT_EQ(counterReading(65535).csvCell, "65535;");
}

TEST(Conversions, RawToDisplayAndBack) {
    struct Case {
        int raw;
        int kind;
        float display;
    };
    for (const Case& c : {Case{2982, KindCelsius, 25.0f}, Case{2732, KindCelsius, 0.0f},
                          Case{4092, KindVolts, 4.092f}, Case{3000, KindKelvin, 300.0f},
                          Case{17, KindRaw, 17.0f}, Case{17, 9, 17.0f}}) {
        EXPECT_FLOAT_EQ(rawToDisplay(c.raw, c.kind), c.display) << c.raw << " kind " << c.kind;
        EXPECT_EQ(displayToRaw(c.display, c.kind), c.raw) << c.raw << " kind " << c.kind;
    }
}

TEST(Conversions, DisplayToRawTruncatesTowardZeroAndStaysInRange) {
    EXPECT_EQ(displayToRaw(1.9999f, KindVolts), 1999);
    EXPECT_EQ(displayToRaw(-1.5f, KindRaw), -1);
    EXPECT_EQ(displayToRaw(-273.9f, KindCelsius), -7);
    EXPECT_EQ(displayToRaw(25.3f, KindCelsius), 2985);
    EXPECT_EQ(displayToRaw(1e30f, KindVolts), INT_MAX);
    EXPECT_EQ(displayToRaw(-1e30f, KindKelvin), INT_MIN);
    EXPECT_EQ(displayToRaw(std::nanf(""), KindRaw), 0);
}

TEST(Checks, SupplyAlarmsAtTheirThresholds) {
    struct Case {
        int uz;
        int vcc;
        const char* uzText;
        const char* vccText;
    };
    for (const Case& c : {Case{6500, 4750, "", ""}, Case{6499, 4749, "Uz<7V !", "Vcc<4.75V !"},
                          Case{24500, 5250, "", ""}, Case{24501, 5251, "Uz>25V !", "Vcc>5.25V !"},
                          Case{12000, 5000, "", ""}}) {
        OutputState outputs;
        outputs.registers[RegUz] = c.uz;
        outputs.registers[RegVcc] = c.vcc;
        const SupplyAlarms alarms = supplyAlarms(outputs);
        EXPECT_EQ(alarms.uz, c.uzText) << c.uz;
        EXPECT_EQ(alarms.vcc, c.vccText) << c.vcc;
    }
}

TEST(Checks, OutputMismatchAroundTwoVolts) {
    struct Case {
        bool on;
        int millivolts;
        bool flagged;
    };
    for (const Case& c : {Case{true, 2000, false}, Case{true, 2001, true}, Case{false, 2000, false},
                          Case{false, 1999, true}}) {
        OutputState outputs;
        for (int output = 0; output < OutputCount; ++output) {
            outputs.setOutput(output, c.on);
            outputs.registers[output] = c.millivolts;
        }
        const auto flags = outputMismatches(outputs, ModeFlags{});
        for (int output = 0; output < OutputCount; ++output)
            EXPECT_EQ(flags[output], c.flagged) << output << " at " << c.millivolts;
        const auto pwmFlags = outputMismatches(outputs, ModeFlags{8});
        EXPECT_EQ(pwmFlags[9], c.flagged);
        EXPECT_FALSE(pwmFlags[10]);
        EXPECT_FALSE(pwmFlags[11]);
    }
}

TEST(Model, DefaultsNameEveryEntryAfterItsModule) {
    const auto channels = defaultChannels(4);
    EXPECT_EQ(channels[0].name, "Linia1E");
    EXPECT_EQ(channels[15].name, "Linia16E");
    EXPECT_EQ(channels[15].kind, KindVolts);
    EXPECT_EQ(channels[15].max, 4092);
    EXPECT_EQ(channels[16].name, "Cnt1E");
    EXPECT_EQ(channels[17].max, 65535);
    EXPECT_EQ(channels[18].max, 1000);
    EXPECT_EQ(channels[19].name, "Cnt4E");
    EXPECT_EQ(channels[19].kind, 0);
}

TEST(Model, UnitCellsOfTheCsvHeader) {
    EXPECT_EQ(unitCell(0, KindCelsius), "T [°C];");
    EXPECT_EQ(unitCell(1, KindVolts), "U [V];");
    EXPECT_EQ(unitCell(2, KindRaw), "[0-4092];");
    EXPECT_EQ(unitCell(15, KindKelvin), "T [K];");
    EXPECT_EQ(unitCell(3, 4), "");
    EXPECT_EQ(unitCell(16, KindCelsius), "[imp];");
}

TEST(Model, FirmwareTextAndBarRanges) {
    EXPECT_EQ(firmwareText({0x25, 0x12, 0x34, 0x56, 0x78, 0x9A, 0x03, 120, 50, 0xA5, 0x11}),
              "v25  SN=123456789A03 SUM=A5");
    EXPECT_EQ(barRange({0, 0, 65535, "Cnt1A"}).high, 65535);
    EXPECT_EQ(barRange({0, -1, 70000, "x"}).low, 65535);
    EXPECT_EQ(barRange({0, -1, 70000, "x"}).high, 70000 - 65536);
    EXPECT_EQ(barPosition({0, 65535}, 40000), 40000);
    EXPECT_EQ(barPosition({0, 1000}, 40000), 1000);
    EXPECT_EQ(barPosition({2732, 3232}, 0), 2732);
    EXPECT_EQ(barPosition({500, 100}, 300), 500);
}

class OneAnswerPrompter : public Prompter {
  public:
    explicit OneAnswerPrompter(std::optional<std::string> answer) : answer_(std::move(answer)) {}
    void message(const std::string&, MessageIcon) override {}
    bool askYesNo(const std::string&) override { return false; }
    std::optional<std::string> chooseSaveFile(const std::string& filter, const std::string& ext,
                                              const std::string&) override {
        EXPECT_EQ(filter, "Arkusze CSV (*.CSV)|*.csv||");
        EXPECT_EQ(ext, "csv");
        return answer_;
    }

  private:
    std::optional<std::string> answer_;
};

TEST(CsvFileChooser, KeepsOnlyTheChosenFileName) {
    OneAnswerPrompter chosen("/home/jan/dane/pomiary 2.csv");
    EXPECT_EQ(chooseCsvFileName(chosen, "pomiary.csv"), "pomiary 2.csv");
    OneAnswerPrompter cancelled(std::nullopt);
    EXPECT_EQ(chooseCsvFileName(cancelled, "pomiary.csv"), std::nullopt);
}

}  // namespace
}  // namespace dkq
