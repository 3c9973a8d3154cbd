// Field validation of the dialogs and the line setup's conversions between raw
// ranges and the units a line is shown in.
#include <gtest/gtest.h>

#include "monitor/field_reader.h"
#include "monitor/line_setup.h"

namespace dkq {
namespace {

TEST(FieldReader, PromptsNameTheFirstFieldThatFails) {
    struct Case {
        const char* text;
        const char* prompt;  // empty: accepted
    };
    const Case cases[] = {
        {"31", ""},
        {" 7 ", ""},
        {"+5", ""},
        {"0", "Please enter an integer between 1 and 31."},
        {"32", "Please enter an integer between 1 and 31."},
        {"99999999999999999999", "Please enter an integer."},
        {"", "Please enter an integer."},
        {"12a", "Please enter an integer."},
        {"1.5", "Please enter an integer."},
    };
    for (const Case& c : cases) {
        FieldReader reader;
        reader.integer(4, c.text, 1, 31);
        if (*c.prompt == '\0') {
            EXPECT_TRUE(reader.ok()) << c.text;
        } else {
            ASSERT_FALSE(reader.ok()) << c.text;
            EXPECT_EQ(reader.problem()->field, 4);
            EXPECT_EQ(reader.problem()->prompt, c.prompt) << c.text;
        }
    }

    FieldReader reader;
    EXPECT_EQ(reader.number(1, "-2.5"), -2.5f);
    EXPECT_EQ(reader.text(2, "Łódź1234", 8), "Łódź1234");
    reader.text(3, "Łódź12345", 8);
    reader.number(4, "x");
    ASSERT_FALSE(reader.ok());
    EXPECT_EQ(reader.problem()->field, 3);
    EXPECT_EQ(reader.problem()->prompt, "Please enter no more than 8 characters.");

    FieldReader numbers;
    numbers.number(9, "1,5");
    EXPECT_EQ(numbers.problem()->prompt, "Please enter a number.");
}

TEST(FieldReader, NumbersShowWithSixSignificantDigits) {
    EXPECT_EQ(displayNumber(0.0f), "0");
    EXPECT_EQ(displayNumber(100.0f), "100");
    EXPECT_EQ(displayNumber(4.092f), "4.092");
    EXPECT_EQ(displayNumber(65535.0f), "65535");
    EXPECT_EQ(displayNumber(1234567.0f), "1.23457e+06");
}

ChannelTable celsiusLineOne() {
    ChannelTable channels = defaultChannels(2);
    channels[0] = {KindCelsius, 2732, 3732, "T1"};
    return channels;
}

TEST(LineSetup, ShowsRangesInTheLineUnitAndStoresThemRaw) {
    ChannelTable channels = celsiusLineOne();
    LineSetupFields fields = lineSetupFields(channels);
    EXPECT_EQ(fields.kinds[0], KindCelsius);
    EXPECT_EQ(fields.mins[0], "0");
    EXPECT_EQ(fields.maxes[0], "100");
    EXPECT_EQ(fields.maxes[1], "4.092");
    EXPECT_EQ(fields.names[16], "Cnt1C");
    EXPECT_EQ(fields.maxes[16], "65535");

    fields.maxes[0] = "100.05";
    fields.kinds[1] = KindCelsius;  // kind changed, limits 0..4.092 kept
    fields.names[19] = "Woda";
    fields.maxes[19] = "999.9";
    EXPECT_EQ(applyLineSetup(fields, channels), std::nullopt);
    EXPECT_EQ(channels[0].max, 3732);
    EXPECT_EQ(channels[1].kind, KindCelsius);
    EXPECT_EQ(channels[1].min, 2732);
    EXPECT_EQ(channels[1].max, 2772);
    EXPECT_EQ(channels[19].name, "Woda");
    EXPECT_EQ(channels[19].max, 999);
    EXPECT_EQ(channels[19].kind, 0);
}

TEST(LineSetup, ARefusedFieldLeavesEveryEntryAsItWas) {
    ChannelTable channels = celsiusLineOne();
    LineSetupFields fields = lineSetupFields(channels);
    fields.names[0] = "Nowa";
    fields.mins[5] = "zero";
    fields.maxes[7] = "";
    const auto problem = applyLineSetup(fields, channels);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->field, lineSetupField(5, LineSetupPart::Min));
    EXPECT_EQ(problem->prompt, "Please enter a number.");
    EXPECT_EQ(channels[0].name, "T1");
}

TEST(LineSetup, AKindWithoutARadioIsKept) {
    ChannelTable channels = defaultChannels(0);
    channels[3].kind = 7;
    LineSetupFields fields = lineSetupFields(channels);
    EXPECT_EQ(fields.kinds[3], -1);
    EXPECT_EQ(fields.maxes[3], "4092");
    EXPECT_EQ(applyLineSetup(fields, channels), std::nullopt);
    EXPECT_EQ(channels[3].kind, 7);
    EXPECT_EQ(channels[3].max, 4092);
}

TEST(LineSetup, CaptionNamesTheModuleAndItsAddress) {
    EXPECT_EQ(lineSetupCaption(2, 7), "Ustawienia linii wejściowych: Moduł C (adres: 07)");
    EXPECT_EQ(moduleLabel(0, 31), "Moduł A (adres: 31)");
}

}  // namespace
}  // namespace dkq
