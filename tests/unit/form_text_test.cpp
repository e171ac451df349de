#include "settings/form_text.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <string>

#include "settings/settings_layout.h"

namespace {

std::string shown(int position, float value, ShowVariant variant = SHOW_FILE) {
    char16_t out[100];
    size_t length = form_value_text(out, 100, position, value, variant);
    std::string text;
    for (size_t i = 0; out[i] != 0; ++i) {
        text.push_back(static_cast<char>(out[i]));
    }
    EXPECT_EQ(length, text.size());
    return text;
}

float typed(const std::u16string& text) {
    return form_text_value(text.c_str());
}

TEST(FormText, FormatsByKind) {
    EXPECT_EQ(shown(POS_SENSOR1_MIN, 12.4f), "12");
    EXPECT_EQ(shown(POS_OFF_TIMER, 180.0f), "180");
    EXPECT_EQ(shown(channel_position(COL_ON_DELAY, 3), 1234.5f), "1235");
    EXPECT_EQ(shown(channel_position(COL_ON_START_LEVEL, 3), 0.25f), "0.3");
    EXPECT_EQ(shown(channel_position(COL_STANDBY_LEVEL, 24), 0.1f), "0.1");
    EXPECT_EQ(shown(channel_position(COL_STANDBY_ENABLED, 24), 1.0f), "");
    EXPECT_EQ(shown(POS_USE_LIGHT_SENSOR, 1.0f), "");
}

TEST(FormText, ThresholdDependsOnWhereTheTableCameFrom) {
    EXPECT_EQ(shown(POS_LIGHT_THRESHOLD, 49.8f, SHOW_FILE), "49.8");
    EXPECT_EQ(shown(POS_LIGHT_THRESHOLD, 49.8f, SHOW_CONTROLLER), "50");
    EXPECT_EQ(shown(channel_position(COL_OFF_END_LEVEL, 1), 49.8f, SHOW_CONTROLLER), "49.8");
}

TEST(FormText, OnlyExactlyOneIsChecked) {
    EXPECT_TRUE(form_flag_checked(1.0f));
    EXPECT_FALSE(form_flag_checked(0.0f));
    EXPECT_FALSE(form_flag_checked(0.5f));
    EXPECT_FALSE(form_flag_checked(2.0f));
    EXPECT_FALSE(form_flag_checked(std::nextafter(1.0f, 2.0f)));
    EXPECT_FALSE(form_flag_checked(NAN));
}

TEST(FormText, TypedTextsBecomeFloats) {
    EXPECT_EQ(typed(u""), 0.0f);
    EXPECT_EQ(typed(u"50.0"), 50.0f);
    EXPECT_EQ(typed(u"0.1"), 0.1f);
    EXPECT_EQ(typed(u" 7"), 7.0f);
    EXPECT_EQ(typed(u"1,5"), 1.5f); // a comma before a digit is the decimal point
    EXPECT_EQ(typed(u"0,1"), 0.1f);
    EXPECT_EQ(typed(u"-5"), -5.0f);
    EXPECT_EQ(typed(u"NaN"), 0.0f);
}

TEST(FormText, OutOfRangeTextsSaturateAtInfinity) {
    EXPECT_EQ(typed(u"3.4028234663852886e38"), FLT_MAX);
    EXPECT_EQ(typed(u"3.40282356779733e38"), FLT_MAX); // just under half a unit above
    EXPECT_EQ(typed(u"3.402823669209385e38"), INFINITY);
    EXPECT_EQ(typed(u"-1e39"), -INFINITY);
    EXPECT_EQ(typed(u"1e300"), INFINITY);
    EXPECT_EQ(typed(u"1e-50"), 0.0f);
}

// Showing then reading back keeps a value that has no more decimals than its format.
TEST(FormText, ShowAndGatherRoundToTheShownPrecision) {
    int level = channel_position(COL_OFF_START_LEVEL, 7);
    int time = channel_position(COL_RISE_TIME, 7);
    char16_t out[100];
    form_value_text(out, 100, time, 12.4f, SHOW_FILE);
    EXPECT_EQ(form_text_value(out), 12.0f);
    for (float value : {0.0f, 0.1f, 33.3f, 99.9f, 100.0f, -0.5f}) {
        form_value_text(out, 100, level, value, SHOW_FILE);
        EXPECT_EQ(form_text_value(out), value);
    }
    form_value_text(out, 100, level, FLT_MAX, SHOW_FILE);
    EXPECT_EQ(form_text_value(out), FLT_MAX);
}

} // namespace
