// The measurement model: raw values to window text, record cells, range fields
// and bars; the checks of the outputs and supplies; the dialogs' field
// validation and the line setup's conversions between raw ranges and units.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>

#include "forms/field_reader.h"
#include "monitor/line_setup.h"
#include "monitor/measurement.h"
#include "monitor/trend_buffer.h"

namespace dkq {
namespace {

// Raw values shown and recorded by kind in single precision, and ranges
// converted between raw and display values both ways.
TEST(Measurement, LinesShowRecordAndConvertByKindInSinglePrecision) {
    const std::tuple<int, int, const char*, float> cases[] = {
        {2982, KindCelsius, "25.1°C", 25.0f},  // the float chain gives 25.050013
        {2731, KindCelsius, "-0.0°C", -0.1f},  {2940, KindCelsius, "20.9°C", 20.8f},
        {3000, KindKelvin, "300.0 K", 300.0f}, {4092, KindVolts, "4.092 V", 4.092f},
        {0, KindVolts, "0.000 V", 0.0f},       {65535, KindVolts, "65.535 V", 65.535f},
        {1234, KindRaw, "1234", 1234.0f},      {1234, 7, "1234", 1234.0f}};
    for (const auto& [raw, kind, text, display] : cases) {
        const EntryReading reading = lineReading(raw, kind);
        const std::string number =
            std::string(text).substr(0, std::string(text).find_first_of(" °"));
        EXPECT_EQ(reading.text + reading.csvCell, text + number + ";") << raw;
        EXPECT_FLOAT_EQ(rawToDisplay(raw, kind), display) << raw << " kind " << kind;
        EXPECT_EQ(displayToRaw(display, kind), raw) << raw << " kind " << kind;
    }
    // Typed values in single precision, truncated toward zero, kept within int.
    EXPECT_EQ(displayToRaw(1.9999f, KindVolts), 1999);
    EXPECT_EQ(displayToRaw(-1.5f, KindRaw), -1);
    EXPECT_EQ(displayToRaw(-273.9f, KindCelsius), -7);
    EXPECT_EQ(displayToRaw(25.3f, KindCelsius), 2985);
    EXPECT_EQ(displayToRaw(1e30f, KindVolts), INT_MAX);
    EXPECT_EQ(displayToRaw(-1e30f, KindKelvin), INT_MIN);
    EXPECT_EQ(displayToRaw(std::nanf(""), KindRaw), 0);
}

TEST(Measurement, BarsTakeSixteenBitRangesAndClampTheirValues) {
    EXPECT_EQ(barRange({0, -1, 70000, "x"}).low, 65535);
    EXPECT_EQ(barRange({0, -1, 70000, "x"}).high, 70000 - 65536);
    EXPECT_EQ(barPosition({0, 1000}, 40000), 1000);
    EXPECT_EQ(barPosition({2732, 3232}, 0), 2732);
    EXPECT_EQ(barPosition({500, 100}, 300), 500);
}

// The supplies alarm beyond their thresholds. An output on must read at most
// 2 V, one off at least 2 V; O11 and O12 are not checked in PWM mode.
TEST(Checks, SupplyAlarmsAndOutputsOnTheWrongSideOfTwoVolts) {
    const auto alarms = [](int uz, int vcc) {
        OutputState outputs;
        outputs.registers[UzRegister] = uz;
        outputs.registers[VccRegister] = vcc;
        const SupplyAlarms shown = supplyAlarms(outputs);
        return shown.uz + shown.vcc;
    };
    EXPECT_EQ(alarms(6500, 4750) + alarms(24500, 5250), "");
    EXPECT_EQ(alarms(6499, 4749), "Uz<7V !Vcc<4.75V !");
    EXPECT_EQ(alarms(24501, 5251), "Uz>25V !Vcc>5.25V !");
    OutputState outputs;
    outputs.registers = {2000, 2001, 2000, 1999};  // O5..O12 off at 0 V
    outputs.setOutput(0, true);
    outputs.setOutput(1, true);
    using Flags = std::array<bool, OutputCount>;
    EXPECT_EQ(outputMismatches(outputs, ModeFlags{}), (Flags{0, 1, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(outputMismatches(outputs, ModeFlags{8}), (Flags{0, 1, 0, 1, 1, 1, 1, 1, 1, 1, 0, 0}));
}

// --- the trend history ---------------------------------------------------------

// "value@time" of one entry's points.
std::string shown(const std::vector<TrendPoint>& points) {
    std::string text;
    for (const TrendPoint& point : points)
        text += std::to_string(point.raw) + "@" + std::to_string(point.time) + " ";
    return text;
}

// Line 1 of reading i holds values[i], or i when no values are given; a
// value of -1 is a failed read.
TrendBuffer filled(std::size_t capacity, std::int64_t kept, const std::vector<std::int64_t>& times,
                   const std::vector<int>& values = {}) {
    TrendBuffer trend(capacity, kept);
    std::array<std::int32_t, EntryCount> raw{};
    for (std::size_t i = 0; i < times.size(); ++i) {
        raw[0] = values.empty() ? static_cast<std::int32_t>(i) : values[i];
        if (raw[0] == GapRaw)
            trend.addFailedRead(times[i]);
        else
            trend.add(times[i], raw);
    }
    return trend;
}

// The newest readings within the capacity and the age, in order, through
// wrap-around and growth; a clock set back does not turn the times back.
TEST(TrendBuffer, KeepsTheNewestReadingsWithinItsCapacityAndAgeInOrder) {
    const std::tuple<std::size_t, std::int64_t, std::vector<std::int64_t>, const char*> cases[] = {
        {4, 100, {1, 2, 3, 4, 5, 6}, "2@3 3@4 4@5 5@6 "},
        {4, 100, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, "6@7 7@8 8@9 9@10 "},
        {8, 3, {1, 2, 3, 4, 10, 10, 10, 10, 10, 11}, "4@10 5@10 6@10 7@10 8@10 9@11 "},
        {8, 3, {1, 2, 3, 4, 10, 11, 12, 13, 14, 15, 16}, "7@13 8@14 9@15 10@16 "},
        {3, 100, {5, 9, 7, 8}, "1@9 2@9 3@9 "}};
    for (const auto& [capacity, kept, times, expected] : cases) {
        const TrendBuffer trend = filled(capacity, kept, times);
        std::vector<TrendPoint> held;
        for (std::size_t i = 0; i < trend.size(); ++i)
            held.push_back({trend[i].time, trend[i].raw[0]});
        EXPECT_EQ(shown(held), expected) << capacity << " " << kept;
    }
}

// Per column of the chart the lowest and the highest value in the order
// they came; every reading when there are at most two a column.
TEST(TrendBuffer, DecimationKeepsEveryColumnsExtremes) {
    const TrendBuffer trend =
        filled(10, 100, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {5, 1, 9, 3, 3, 7, 0, 2, 8, 4});
    const std::tuple<int, int, int, const char*> cases[] = {
        {0, 9, 5, "5@0 1@1 9@2 3@3 3@4 7@5 0@6 2@7 8@8 4@9 "},
        {0, 9, 2, "1@1 9@2 0@6 8@8 "},
        {0, 9, 3, "1@1 9@2 7@5 0@6 2@7 8@8 "},
        {3, 7, 1, "7@5 0@6 "},
        {8, 3, 4, ""},
        {20, 30, 4, ""}};
    for (const auto& [from, to, columns, expected] : cases)
        EXPECT_EQ(shown(decimate(trend, from, to, columns)[0]), expected) << from << ".." << to;
    EXPECT_EQ(shown(decimate(trend, 0, 9, 2)[1]), "0@0 0@5 ");  // level: one point a column
    // Failed reads break the lines once, in full detail and thinned; not before the first value.
    const TrendBuffer gaps =
        filled(10, 100, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {-1, 5, 1, 9, -1, -1, 3, 7, 0, 8});
    EXPECT_EQ(shown(decimate(gaps, 0, 9, 5)[0]), "5@1 1@2 9@3 -1@4 3@6 7@7 0@8 8@9 ");
    EXPECT_EQ(shown(decimate(gaps, 0, 9, 1)[0]), "1@2 9@3 -1@4 0@8 8@9 ");
}

// "Zapisz dane": the stretch and the series shown, a failed read as blank cells.
TEST(TrendBuffer, DataOfTheTimeAndSeriesShown) {
    setenv("TZ", "UTC", 1);
    tzset();
    const std::int64_t start = 1709622000;  // 2024-03-05 7:00:00
    const TrendBuffer trend =
        filled(4, 100, {start, start + 1, start + 2, start + 3}, {2940, -1, 2950, 2960});
    std::array<bool, EntryCount> shownSeries{};
    shownSeries[0] = shownSeries[16] = true;
    EXPECT_EQ(trendCsv(trend, defaultChannels("A"), start + 1, start + 2, shownSeries),
              "Czas;Linia1A;Cnt1A;\n;U [V];[imp];\n2024-03-05 7:00:01;   ;   ;\n"
              "2024-03-05 7:00:02;2,950;0;\n");
}

// --- dialog fields and the line setup --------------------------------------------

TEST(FieldReader, TheFirstFieldThatFailsIsNamedWithItsPrompt) {
    const auto prompt = [](const char* text) {
        FieldReader reader;
        reader.integer(4, text, 1, 31);
        return reader.ok() ? "" : reader.problem()->prompt;
    };
    EXPECT_EQ(prompt(" +7 "), "");
    EXPECT_EQ(prompt("32"), "Please enter an integer between 1 and 31.");
    for (const char* text : {"99999999999999999999", "", "1.5"})
        EXPECT_EQ(prompt(text), "Please enter an integer.") << text;
    FieldReader reader;
    EXPECT_EQ(reader.number(1, "-2.5") + reader.number(1, " 3,5"), 1.0f);  // comma or point
    EXPECT_EQ(reader.text(2, "Łódź1234", 8), "Łódź1234");
    reader.text(3, "Łódź12345", 8);
    reader.number(4, "x");
    ASSERT_FALSE(reader.ok());
    EXPECT_EQ(reader.problem()->field, 3);
    EXPECT_EQ(reader.problem()->prompt, "Please enter no more than 8 characters.");
    for (const char* text : {"1,5,0", "1,5.0", "1 5"}) {
        FieldReader numbers;
        numbers.number(9, text);
        EXPECT_EQ(numbers.problem()->prompt, "Please enter a number.") << text;
    }
}

// A refused field leaves every entry as it was; accepted ranges are shown in
// the line's unit and stored raw.
TEST(LineSetup, ShowsRangesInTheLineUnitAndStoresThemRaw) {
    ChannelTable channels = defaultChannels("A");
    LineSetupFields refused = lineSetupFields(channels);
    refused.names[0] = "Nowa";
    refused.mins[5] = "zero";
    refused.maxes[7] = "";
    const auto problem = applyLineSetup(refused, channels);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->field, lineSetupField(5, LineSetupPart::Min));
    EXPECT_EQ(problem->prompt, "Please enter a number.");
    EXPECT_EQ(channels[0].name, "Linia1A");

    channels = defaultChannels("C");
    channels[0] = {KindCelsius, 2732, 3732, "T1"};
    channels[3].kind = 7;  // a kind without a radio
    LineSetupFields fields = lineSetupFields(channels);
    EXPECT_EQ(fields.mins[0] + ".." + fields.maxes[0], "0..100");
    EXPECT_EQ(fields.maxes[1], "4.092");
    EXPECT_EQ(fields.kinds[3], -1);
    EXPECT_EQ(fields.maxes[3], "4092");
    EXPECT_EQ(fields.names[16] + " " + fields.maxes[16], "Cnt1C 65535");

    fields.maxes[0] = "100.05";
    fields.kinds[1] = KindCelsius;  // kind changed, limits 0..4.092 kept
    fields.names[19] = "Woda";
    fields.maxes[19] = "999.9";
    EXPECT_EQ(applyLineSetup(fields, channels), std::nullopt);
    EXPECT_EQ(channels[0].max, 3732);
    EXPECT_EQ(channels[1].kind, KindCelsius);
    EXPECT_EQ(channels[1].min, 2732);
    EXPECT_EQ(channels[1].max, 2772);
    EXPECT_EQ(channels[3].kind, 7);
    EXPECT_EQ(channels[3].max, 4092);
    EXPECT_EQ(channels[19].name, "Woda");
    EXPECT_EQ(channels[19].max, 999);
}

}  // namespace
}  // namespace dkq
