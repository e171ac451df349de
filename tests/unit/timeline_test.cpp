// The wave of the settings: its times for three tables, the level at chosen moments, the summary's
// words, and the text, chart, axes and JSON drawn from it. Expected values are literals worked
// out by hand from the tables in timeline_tables.h.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>

#include "cli/timeline_axis.h"
#include "cli/timeline_chart.h"
#include "cli/timeline_json.h"
#include "cli/timeline_svg.h"
#include "timeline_tables.h"

namespace {

using Make = void (*)(float*);

Timeline wave(Make make, void (*change)(float*) = nullptr) {
    float table[SETTINGS_COUNT];
    make(table);
    if (change != nullptr) {
        change(table);
    }
    Timeline timeline;
    timeline_from_table(table, &timeline);
    return timeline;
}

std::string summary(const Timeline& timeline) {
    char text[TIMELINE_SUMMARY_BYTES];
    timeline_summary(&timeline, text, sizeof text);
    return text;
}

float& at(float* table, int column, int channel) {
    return table[channel_position(column, channel)];
}

// Channels first..last (every `every`-th) get first_value, first_value + step, ...
void steps(float* table, int column, int first, int last, float first_value, float step,
           int every = 1) {
    for (int n = first, k = 0; n <= last; n += every, ++k) {
        at(table, column, n) = first_value + step * static_cast<float>(k);
    }
}

// Odd steps first, then the even ones: an order listed step by step.
void odd_steps_first(float* t) {
    steps(t, COL_ON_DELAY, 1, 15, 0, 75);
    steps(t, COL_ON_DELAY, 2, 14, 1275, 150, 2);
}

struct Times {
    int channel;
    double on_begin, on_end, off_begin, off_end;
};

// Checks the channels listed and that every other one is dark.
void expect_times(const Timeline& timeline, std::initializer_list<Times> rows) {
    bool listed[CHANNEL_COUNT] = {};
    for (const Times& row : rows) {
        const TimelineChannel& c = timeline.channels[row.channel - 1];
        SCOPED_TRACE("channel " + std::to_string(row.channel));
        listed[row.channel - 1] = true;
        EXPECT_FALSE(c.dark);
        EXPECT_EQ(c.on_begin_ms, row.on_begin);
        EXPECT_EQ(c.on_end_ms, row.on_end);
        EXPECT_EQ(c.off_begin_ms, row.off_begin);
        EXPECT_EQ(c.off_end_ms, row.off_end);
    }
    for (int n = 1; n <= CHANNEL_COUNT; ++n) {
        EXPECT_EQ(timeline.channels[n - 1].dark, !listed[n - 1]) << "channel " << n;
    }
}

size_t columns(const std::string& line) {
    size_t n = 0;
    for (unsigned char c : line) {
        n += (c & 0xC0) != 0x80;
    }
    return n;
}

} // namespace

TEST(Timeline, TimesOfTheDefaultsTheStaircaseAndOverlappingPhases) {
    // clang-format off
    expect_times(wave(timeline_defaults_table), {
        { 1,    1,    2, 180001, 180002}, { 2,   50,  300, 180050, 180300},
        { 3,  100,  600, 180100, 180600}, { 4,  150,  900, 180150, 180900},
        { 5,  200, 1200, 180200, 181200}, { 6,  250, 1500, 180250, 181500},
        { 7,  300, 1800, 180300, 181800}, { 8,  350, 2100, 180350, 182100},
        { 9,  400, 2400, 180400, 182400}, {10,  450, 2700, 180450, 182700},
        {11,  500, 3000, 180500, 183000}, {12,  550, 3300, 180550, 183300},
        {13,  600, 3600, 180600, 183600}, {14,  650, 3900, 180650, 183900},
        {15,  700, 4200, 180700, 184200}, {16,  750, 4500, 180750, 184500},
        {17,  800, 4800, 180800, 184800}, {18,  850, 5100, 180850, 185100},
        {19,  900, 5400, 180900, 185400}, {20,  950, 5700, 180950, 185700},
        {21, 1000, 6000, 181000, 186000}, {22, 1050, 6300, 181050, 186300},
        {23, 1100, 6600, 181100, 186600}, {24, 1150, 6900, 181150, 186900}});
    expect_times(wave(timeline_staircase_table), {
        { 1,    0,  500, 182100, 182600}, { 2,  150,  650, 181950, 182450},
        { 3,  300,  800, 181800, 182300}, { 4,  450,  950, 181650, 182150},
        { 5,  600, 1100, 181500, 182000}, { 6,  750, 1250, 181350, 181850},
        { 7,  900, 1400, 181200, 181700}, { 8, 1050, 1550, 181050, 181550},
        { 9, 1200, 1700, 180900, 181400}, {10, 1350, 1850, 180750, 181250},
        {11, 1500, 2000, 180600, 181100}, {12, 1650, 2150, 180450, 180950},
        {13, 1800, 2300, 180300, 180800}, {14, 1950, 2450, 180150, 180650},
        {15, 2100, 2600, 180000, 180500}});
    expect_times(wave(timeline_overlap_table), {
        {1, 0, 0, 1000, 1500}, {2, 200, 1700, 1100, 1600}, {3, 2000, 2500, 1200, 1200}});
    // clang-format on
}

TEST(Timeline, LevelAtChosenMoments) {
    const Timeline stairs = wave(timeline_staircase_table);
    const Timeline overlap = wave(timeline_overlap_table);
    const struct {
        const Timeline* timeline;
        int channel;
        double t_ms;
        double level;
    } rows[] = {
        {&stairs, 1, -1, 0.1},       // standby glow before it lights
        {&stairs, 1, 250, 50.05},    // half way up from 0.1 to 100
        {&stairs, 1, 182350, 50.05}, // half way down
        {&stairs, 1, 182600, 0.1},   // at rest again: its standby
        {&stairs, 2, 182450, 0},     // standby off: dark once the fall is over
        {&overlap, 1, -0.5, 0},      // before the detection
        {&overlap, 1, 0, 100},       // rise time 0: a step
        {&overlap, 2, 1000, 58},     // still rising: 10 + 90 * 800 / 1500
        {&overlap, 2, 1100, 100},    // the switching off takes over
        {&overlap, 2, 1350, 50},     // and falls
        {&overlap, 3, 2200, 0},      // its switching on never comes: the off came first
        {&overlap, 1, std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const auto& row : rows) {
        EXPECT_NEAR(timeline_level(&row.timeline->channels[row.channel - 1], row.t_ms), row.level,
                    1e-5)
            << "channel " << row.channel << " at " << row.t_ms;
    }
}

TEST(Timeline, WaveCornersDrawTheOverlapExactly) {
    const Timeline overlap = wave(timeline_overlap_table);
    TimelinePoint points[TIMELINE_WAVE_POINTS];
    ASSERT_EQ(timeline_wave(&overlap.channels[1], 0, 2000, points), 8u);
    const TimelinePoint expected[8] = {{0, 0},      {200, 0},  {200, 10}, {1100, 64},
                                       {1100, 100}, {1600, 0}, {1700, 0}, {2000, 0}};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(points[i].t_ms, expected[i].t_ms) << i;
        EXPECT_NEAR(points[i].level, expected[i].level, 1e-9) << i;
    }
    EXPECT_EQ(timeline_wave(&overlap.channels[1], 5, 5, points), 0u);
}

TEST(Timeline, SummaryWords) {
    const struct {
        Make make;
        void (*change)(float*);
        const char* words;
    } rows[] = {
        {timeline_defaults_table, nullptr,
         "lights 1→24, 49-50 ms apart; goes dark 1→24, 298-300 ms apart"},
        {timeline_staircase_table, nullptr,
         "lights 1→15, 150 ms apart; goes dark 15→1, 150 ms apart; 16-24 dark"},
        {timeline_overlap_table, nullptr,
         "lights 1→3, 200-1800 ms apart; goes dark 1→3, 100-300 ms apart, but 3 goes dark before "
         "2; 2, 3 start to go dark before they are fully lit; 4-24 dark"},
        // One step falls at once: it goes dark before the step above it.
        {timeline_staircase_table, [](float* t) { at(t, COL_FALL_TIME, 7) = 0; },
         "lights 1→15, 150 ms apart; goes dark 15→1, 50-300 ms apart, but 7 goes dark before 8; "
         "16-24 dark"},
        // The staircase on the defaults' fall times, with only 16-24's on-end level 0: the bottom
        // goes dark first, and 16-24 flash at the switching off.
        {timeline_defaults_table,
         [](float* t) {
             steps(t, COL_ON_DELAY, 1, 15, 0, 150);
             steps(t, COL_OFF_DELAY, 1, 15, 2100, -150);
             steps(t, COL_ON_END_LEVEL, 16, 24, 0, 0);
         },
         "lights 1→24, 0-150 ms apart, but 16 lights before 15; goes dark 1→24, 99-1000 ms apart"},
        {timeline_staircase_table, [](float* t) { steps(t, COL_ON_DELAY, 1, 15, 0, 0); },
         "lights 1-15 at once; goes dark 15→1, 150 ms apart; 16-24 dark"},
        // Odd steps first, then the even ones: no order to speak of.
        {timeline_staircase_table, odd_steps_first,
         "lights 150-225 ms apart in the order 1, 3, 5, 7, 9, 11, 13, 15, 2, 4, 6, 8, 10, 12, 14; "
         "goes dark 15→1, 150 ms apart; 16-24 dark"},
        {timeline_staircase_table,
         [](float* t) {
             for (int column : {COL_ON_START_LEVEL, COL_ON_END_LEVEL, COL_OFF_START_LEVEL,
                                COL_OFF_END_LEVEL, COL_STANDBY_ENABLED}) {
                 steps(t, column, 1, 15, 0, 0);
             }
         },
         "1-24 dark"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(summary(wave(row.make, row.change)), row.words);
    }
}

TEST(Timeline, ValuesThatCannotBeMeantAreReplacedAndSaid) {
    const Timeline timeline = wave(timeline_staircase_table, [](float* t) {
        t[POS_OFF_TIMER] = std::numeric_limits<float>::infinity();
        at(t, COL_RISE_TIME, 3) = std::numeric_limits<float>::quiet_NaN();
        at(t, COL_ON_END_LEVEL, 5) = -5;
        at(t, COL_OFF_START_LEVEL, 6) = 250;
        at(t, COL_ON_DELAY, 7) = 1e30f;
    });
    EXPECT_TRUE(timeline.off_timer_adjusted);
    EXPECT_EQ(timeline.off_timer_ms, 65535000.0);
    EXPECT_EQ(timeline.channels[2].on_end_ms, 300.0);
    EXPECT_EQ(timeline.channels[2].adjusted, 1u << COL_RISE_TIME);
    EXPECT_EQ(timeline.channels[4].on_end_level, 0.0);
    EXPECT_EQ(timeline.channels[5].off_start_level, 100.0);
    EXPECT_EQ(timeline.channels[6].on_begin_ms, 4294967295.0);
    EXPECT_EQ(timeline.channels[7].adjusted, 0u);
    const std::string words = summary(timeline);
    EXPECT_NE(words.find("; 3, 5-7 have values out of range, taken as 0 or the limit; off timer "
                         "out of range, taken as 65535 s"),
              std::string::npos)
        << words;
    // The table marks them; every picture still fits a terminal and holds only numbers.
    const std::string text = timeline_report_text(timeline, true);
    EXPECT_NE(text.find("  7 4294967295* 4294967795*"), std::string::npos) << text;
    EXPECT_NE(text.find("  * not a number or out of range"), std::string::npos);
    const std::string svg = timeline_svg(timeline);
    EXPECT_EQ(svg.find("nan"), std::string::npos);
    EXPECT_EQ(svg.find("inf"), std::string::npos);
}

TEST(Timeline, ShortTextsAndSummaryCut) {
    char text[TIMELINE_NUMBER_BYTES];
    const struct {
        double value;
        const char* text;
    } numbers[] = {{150, "150"}, {0.1f, "0.1"}, {2.25, "2.3"}, {-0.04, "0"}, {-2.25, "-2.3"}};
    for (const auto& row : numbers) {
        timeline_number_text(row.value, text);
        EXPECT_STREQ(text, row.text);
    }
    bool pick[CHANNEL_COUNT] = {};
    for (int n : {2, 4, 7, 8, 9, 12, 13, 24}) {
        pick[n - 1] = true;
    }
    char list[TIMELINE_LIST_BYTES];
    timeline_channel_list(pick, list, sizeof list);
    EXPECT_STREQ(list, "2, 4, 7-9, 12, 13, 24");
    // A summary cut short ends before the piece that did not fit, never inside the arrow.
    const Timeline stairs = wave(timeline_staircase_table);
    char cut[10];
    EXPECT_EQ(timeline_summary(&stairs, cut, sizeof cut), 8u);
    EXPECT_STREQ(cut, "lights 1");
}

TEST(Timeline, AxesEndPastThePhaseWithLabelsThatFit) {
    const struct {
        double needed_ms, width, step_ms;
        int ticks;
        bool seconds;
    } rows[] = {
        {2600, 34, 500, 5, false}, {6900, 34, 1000, 7, true}, {0, 34, 2, 5, false},
        {8.6e9, 34, 5e9, 1, true}, {2600, 2, 5000, 0, true}, // no room: only the tick at 0
    };
    for (const auto& row : rows) {
        const TimelineAxis axis = timeline_axis_make(0, row.needed_ms, row.width);
        EXPECT_EQ(axis.step_ms, row.step_ms) << row.needed_ms;
        EXPECT_EQ(axis.ticks, row.ticks) << row.needed_ms;
        EXPECT_EQ(axis.seconds, row.seconds) << row.needed_ms;
    }
    TimelineAxis on;
    TimelineAxis off;
    timeline_axes({2600, 180000, 182000}, 34, &on, &off); // alike: one scale
    EXPECT_EQ(on.span_ms, off.span_ms);
    EXPECT_EQ(off.from_ms, 180000);
    timeline_axes({100, 180000, 240000}, 34, &on, &off); // far apart: each its own
    EXPECT_EQ(on.step_ms, 20);
    EXPECT_EQ(timeline_axis_label(off, 2), "20");
}

TEST(Timeline, TerminalTextFitsEightyColumns) {
    for (Make make : {timeline_defaults_table, timeline_staircase_table, timeline_overlap_table}) {
        std::istringstream text(timeline_report_text(wave(make), true));
        std::string line;
        while (std::getline(text, line)) {
            EXPECT_LE(columns(line), 79u) << line;
        }
    }
    const std::string stairs = timeline_report_text(wave(timeline_staircase_table), true);
    EXPECT_NE(stairs.find("\n 15      2100      2600    180000    180500   0.1      0.1→100"
                          "         100→0.1\n"),
              std::string::npos);
    EXPECT_NE(stairs.find("\n 15 ···························░▒▒▓███  ┊  ██▓▒▒░······"),
              std::string::npos);
    const size_t dark = stairs.find("\n  16-24: dark, never give light\n");
    EXPECT_NE(dark, std::string::npos);
    EXPECT_EQ(stairs.find("16-24: dark", dark + 5), std::string::npos); // said once, by the table
}

TEST(Timeline, DryRunSaysTheWaveBeforeAndAfter) {
    float defaults[SETTINGS_COUNT];
    float stairs[SETTINGS_COUNT];
    float changed[SETTINGS_COUNT];
    timeline_defaults_table(defaults);
    timeline_staircase_table(stairs);
    EXPECT_EQ(timeline_change_text(defaults, stairs),
              "before: lights 1→24, 49-50 ms apart; goes dark 1→24, 298-300 ms apart\n"
              "after:  lights 1→15, 150 ms apart; goes dark 15→1, 150 ms apart; 16-24 dark\n");
    EXPECT_EQ(timeline_change_text(stairs, stairs), "");
    // A later off timer moves the whole switching off: the order stays, and that is said.
    timeline_staircase_table(changed);
    changed[POS_OFF_TIMER] = 240;
    EXPECT_EQ(timeline_change_text(stairs, changed),
              "unchanged: lights 1→15, 150 ms apart; goes dark 15→1, 150 ms apart; 16-24 dark\n");
    // An order listed step by step is also cut at its commas, to stay within 80 columns.
    timeline_staircase_table(changed);
    odd_steps_first(changed);
    EXPECT_EQ(timeline_change_text(stairs, changed),
              "before: lights 1→15, 150 ms apart; goes dark 15→1, 150 ms apart; 16-24 dark\n"
              "after:  lights 150-225 ms apart in the order 1, 3, 5, 7, 9, 11, 13, 15, 2, 4,\n"
              "        6, 8, 10, 12, 14; goes dark 15→1, 150 ms apart; 16-24 dark\n");
}

TEST(Timeline, JsonHasEveryChannelWithNullTimesWhenDark) {
    const nlohmann::ordered_json json = timeline_json(
        wave(timeline_overlap_table, [](float* t) { at(t, COL_RISE_TIME, 1) = 0.25f; }));
    ASSERT_EQ(json["channels"].size(), 24u);
    EXPECT_EQ(json["channels"][0].dump(), "{\"channel\":1,\"dark\":false,\"on_begin_ms\":0,"
                                          "\"on_end_ms\":0.3,\"off_begin_ms\":1000,"
                                          "\"off_end_ms\":1500}");
    EXPECT_EQ(json["channels"][23].dump(), "{\"channel\":24,\"dark\":true,\"on_begin_ms\":null,"
                                           "\"on_end_ms\":null,\"off_begin_ms\":null,"
                                           "\"off_end_ms\":null}");
    EXPECT_EQ(json["summary"].get<std::string>().substr(0, 12), "lights 1→3");
}
