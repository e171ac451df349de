// The assignments of `lumivo24-cli set`: one row per form and per refusal. Table positions are
// written out: column c of channel n is 8 + 24 * c + (n - 1).
#include <gtest/gtest.h>

#include <string>

#include "settings/assign.h"

namespace {

struct Accepted {
    const char* text;
    int count;
    int first; // position of the first channel of the selection
    int last;  // and of the last
    double start;
    double step;
    const char* last_text = nullptr; // the last position's value as a message shows it
};

constexpr Accepted ACCEPTED[] = {
    {"sensor1_max_cm=120", 1, 1, 1, 120.0, 0.0},
    {"off_timer_s=1e+3", 1, 6, 6, 1000.0, 0.0, "1e+3"},  // an exponent, not a sequence
    {"off_timer_s=1e-400", 1, 6, 6, 0.0, 0.0, "1e-400"}, // too small for a double: 0, as in JSON
    {"ch2-3.rise_time_ms=-2.5e-999+1", 2, 81, 82, 0.0, 1.0, "1"},
    {"ch1.on_delay_ms=4294967295", 1, 8, 8, 4294967295.0, 0.0, "4294967295"}, // as typed
    {"ch1-3.on_delay_ms=4294967000+100", 3, 8, 10, 4294967000.0, 100.0, "4294967200"},
    {"use_light_sensor=true", 1, 5, 5, 1.0, 0.0},
    {"ch7.on_delay_ms=-12.5", 1, 14, 14, -12.5, 0.0},
    {"ch1-15.on_delay_ms=0+150", 15, 8, 22, 0.0, 150.0},
    {"ch15-1.off_delay_ms=0+150", 15, 118, 104, 0.0, 150.0},
    {"ch16-24.on_end_level_percent=0", 9, 71, 79, 0.0, 0.0},
    {"ch1,3,5.standby_level_percent=5.5", 3, 224, 228, 5.5, 0.0},
    {"ch1-3,7.rise_time_ms=1000+-50", 4, 80, 86, 1000.0, -50.0},
    {"ch*.standby_enabled=false", 24, 200, 223, 0.0, 0.0},
    {"ch5-5.fall_time_ms=1e2+1e+1", 1, 180, 180, 100.0, 10.0},
    {"sensor1_max_cm,sensor2_max_cm=150", 2, 1, 3, 150.0, 0.0}, // several names, one value
    // A decimal comma reads as the point; the message shows the value as typed.
    {"light_threshold_percent=30,5", 1, 4, 4, 30.5, 0.0, "30,5"},
    {"ch1,3.rise_time_ms=0,5", 2, 80, 82, 0.5, 0.0, "0,5"},
    {"ch1-2.on_delay_ms=0,5+1,5", 2, 8, 9, 0.5, 1.5, "2"},
    {"ch1.on_delay_ms=,5e1", 1, 8, 8, 5.0, 0.0},
    {"ch2-1.fall_time_ms=1,5e+2+-0,5", 2, 177, 176, 150.0, -0.5, "149.5"},
};

struct Refused {
    const char* text;
    const char* reason; // what follows the quoted assignment
};

const Refused REFUSED[] = {
    {"sensor1_max_cm", "an assignment is NAME=VALUE or chSEL.NAME=VALUE."},
    {"colour=5", "\"colour\" is not the name of a settings value."},
    {"ch7=5", "a channel value is given as chSEL.NAME=VALUE."},
    {"on_delay_ms=5",
     "on_delay_ms is a channel value: give its channels, as in ch1-24.on_delay_ms=."},
    {"ch1.sensor1_max_cm=5", "sensor1_max_cm is a global value, not a channel value."},
    {"ch1.colour=5", "\"colour\" is not the name of a channel value."},
    {"ch1,,2.on_delay_ms=5",
     "\"1,,2\" is not a channel selection (such as 7, 1-15, 15-1, 1,3,5 or *)."},
    {"ch-1.on_delay_ms=5",
     "\"-1\" is not a channel selection (such as 7, 1-15, 15-1, 1,3,5 or *)."},
    {"ch*,1.on_delay_ms=5",
     "\"*,1\" is not a channel selection (such as 7, 1-15, 15-1, 1,3,5 or *)."},
    {"ch0.on_delay_ms=5", "channel 0 is outside 1-24."},
    {"ch1-25.on_delay_ms=5", "channel 25 is outside 1-24."},
    {"ch1-3,2.on_delay_ms=5", "channel 2 is named twice."},
    {"ch1.on_delay_ms=", "\"\" is not a number or a sequence START+STEP."},
    {"off_timer_s=30,5+1", "a sequence START+STEP is for channel values only."},
    {"off_timer_s=30,", "\"30,\" is not a number."}, // a comma with no digit after it
    {"ch1.on_delay_ms=1,5,5", "\"1,5,5\" is not a number or a sequence START+STEP."},
    {"ch1.on_delay_ms=1.5,5", "\"1.5,5\" is not a number or a sequence START+STEP."},
    {"ch1.on_delay_ms=+5", "\"+5\" is not a number or a sequence START+STEP."},
    {"ch1.on_delay_ms=5++5", "\"5++5\" is not a number or a sequence START+STEP."},
    {"ch1.on_delay_ms= 5", "\" 5\" is not a number or a sequence START+STEP."},
    {"ch1.on_delay_ms=5+", "\"5+\" is not a number or a sequence START+STEP."},
    {"use_light_sensor=1", "use_light_sensor takes true or false, not \"1\"."},
    {"ch2.standby_enabled=1+0", "standby_enabled takes true or false, not \"1+0\"."},
    {"ch1.on_delay_ms=true", "on_delay_ms is a number, not true or false."},
    {"off_timer_s=0+1", "a sequence START+STEP is for channel values only."},
    {"ch1.on_delay_ms=nan", "\"nan\" is not a number or a sequence START+STEP."},
    {"ch1.on_delay_ms=0+inf", "\"0+inf\" is not a number or a sequence START+STEP."},
    {"ch1.on_delay_ms=1e39", "1e39 is beyond the range of a single-precision value."},
    {"sensor2_min_cm=1e400", "1e400 is beyond the range of a single-precision value."},
    {"ch*.fall_time_ms=3e38+1e37",
     "the sequence leaves the range of a single-precision value at channel 6."},
    {"ch1.fall_time_ms,fall_time_ms=5", "fall_time_ms is named twice."},
    {"ch1.on_delay_ms,=5", "\"\" is not the name of a channel value."},
    {"ch*.standby_enabled,standby_level_percent=true",
     "standby_level_percent is a number, not true or false."},
    {"ch1.on_delay_ms,sensor1_max_cm=5", "sensor1_max_cm is a global value, not a channel value."},
    {"sensor1_max_cm,on_delay_ms=5",
     "on_delay_ms is a channel value: give its channels, as in ch1-24.on_delay_ms=."},
    {"sensor1_max_cm,sensor2_max_cm=0+1", "a sequence START+STEP is for channel values only."},
};

} // namespace

TEST(CliAssign, EachFormNamesItsPositionsInSelectionOrder) {
    for (const Accepted& row : ACCEPTED) {
        SCOPED_TRACE(row.text);
        Assignment a{};
        char why[ASSIGN_WHY_BYTES];
        ASSERT_EQ(assign_parse(row.text, &a, why), 0) << why;
        EXPECT_EQ(a.count, row.count);
        EXPECT_EQ(a.positions[0], row.first);
        EXPECT_EQ(a.positions[a.count - 1], row.last);
        EXPECT_EQ(a.start, row.start);
        EXPECT_EQ(a.step, row.step);
        if (row.last_text != nullptr) {
            char text[ASSIGN_VALUE_BYTES];
            assign_value_text(&a, a.count - 1, text);
            EXPECT_STREQ(text, row.last_text);
        }
    }
    Assignment list{};
    char why[ASSIGN_WHY_BYTES];
    ASSERT_EQ(assign_parse("ch3-1,7,10-11.on_delay_ms=1", &list, why), 0);
    const int expected[] = {10, 9, 8, 14, 17, 18};
    ASSERT_EQ(list.count, 6);
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(list.positions[k], expected[k]);
    }
}

TEST(CliAssign, ARefusalQuotesTheAssignmentAndSaysWhatIsWrong) {
    for (const Refused& row : REFUSED) {
        Assignment a{};
        char why[ASSIGN_WHY_BYTES];
        EXPECT_EQ(assign_parse(row.text, &a, why), -1) << row.text;
        EXPECT_EQ(std::string(why), "\"" + std::string(row.text) + "\": " + row.reason);
    }
}

TEST(CliAssign, ASequenceCountsInDoubleAndIsStoredAsFloat) {
    SettingsValues values{};
    Assignment a{};
    char why[ASSIGN_WHY_BYTES];
    ASSERT_EQ(assign_parse("ch15-1.off_delay_ms=0+150", &a, why), 0);
    assign_apply(&a, &values);
    EXPECT_EQ(values.table[118], 0.0f);    // channel 15, k = 0
    EXPECT_EQ(values.table[117], 150.0f);  // channel 14
    EXPECT_EQ(values.table[104], 2100.0f); // channel 1, k = 14
    EXPECT_TRUE(values.held[104] && values.held[118] && !values.held[119]);
    // 0.1 + 23 * 0.1 is 2.4000000000000004 as a double, 2.4f once stored.
    ASSERT_EQ(assign_parse("ch*.standby_level_percent=0.1+0.1", &a, why), 0);
    assign_apply(&a, &values);
    EXPECT_EQ(values.table[247], 2.4f);
    EXPECT_EQ(values.table[224], 0.1f);
}

TEST(CliAssign, SeveralNamesTakeTheSameSequence) {
    SettingsValues values{};
    Assignment a{};
    char why[ASSIGN_WHY_BYTES];
    ASSERT_EQ(assign_parse("ch3-1.rise_time_ms,fall_time_ms=100+10", &a, why), 0) << why;
    assign_apply(&a, &values);
    // rise_time_ms of channels 3, 2, 1 at 82, 81, 80; fall_time_ms at 178, 177, 176.
    EXPECT_EQ(values.table[82], 100.0f);
    EXPECT_EQ(values.table[80], 120.0f);
    EXPECT_EQ(values.table[178], 100.0f);
    EXPECT_EQ(values.table[177], 110.0f);
    EXPECT_EQ(values.table[176], 120.0f);
    EXPECT_FALSE(values.held[83] || values.held[179] || values.held[104]);
}
