// The wave of the settings: its times for three tables, the level at chosen moments, the summary's
// words, and the text, chart, axes and JSON drawn from it. Expected values are literals worked
// out by hand from the tables below.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>

#include "cli/timeline_axis.h"
#include "cli/timeline_chart.h"
#include "cli/timeline_json.h"
#include "cli/timeline_svg.h"
#include "emulator/emu_settings.h"
#include "settings/settings_layout.h"

namespace {

using Make = void (*)(float*);

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

// The factory defaults, as the emulator holds them: channel k has on-delay and off-delay 50(k-1),
// rise and fall time 250(k-1), channel 1's four times 1; levels 0.1 / 100 / 100 / 0.1; standby on
// with 0.1 on the odd channels; off timer 180 s.
constexpr Make defaults_table = emu_settings_factory_table;

// The documented staircase: the defaults with steps 1-15 lighting from the bottom 150 ms apart
// and going dark from the top 150 ms apart, each in 500 ms, and 16-24 giving no light.
void staircase_table(float* t) {
    defaults_table(t);
    steps(t, COL_ON_DELAY, 1, 15, 0, 150);
    steps(t, COL_OFF_DELAY, 1, 15, 2100, -150);
    steps(t, COL_RISE_TIME, 1, 15, 500, 0);
    steps(t, COL_FALL_TIME, 1, 15, 500, 0);
    for (int column : {COL_ON_START_LEVEL, COL_ON_END_LEVEL, COL_OFF_START_LEVEL, COL_OFF_END_LEVEL,
                       COL_STANDBY_LEVEL}) {
        steps(t, column, 16, 24, 0, 0);
    }
}

// The staircase with two absurd times, each taken as the field's limit, 4294967295 ms: channel
// 7's on-delay (so it would light only after 1193 hours, later than its switching off) and
// channel 8's off-delay. Both are late, and the axes are the staircase's own.
void late_table(float* t) {
    staircase_table(t);
    at(t, COL_ON_DELAY, 7) = 1e30f;
    at(t, COL_OFF_DELAY, 8) = 5e9f;
}

// Phases that overlap, and a zero rise and fall time: off timer 1 s, channels 4-24 give no
// light, standby off everywhere, levels 10 -> 100 on and 100 -> 0 off.
// - 1: lights at 0 in a step (rise 0), goes dark 1000..1500;
// - 2: rises 200..1700 but its switching off begins at 1100 and takes over, dark at 1600;
// - 3: its switching on would begin at 2000, after its switching off at 1200 (fall 0).
void overlap_table(float* t) {
    std::fill(t, t + SETTINGS_COUNT, 0.0f);
    t[POS_OFF_TIMER] = 1.0f;
    const int columns[7] = {COL_ON_DELAY,       COL_RISE_TIME,    COL_OFF_DELAY,      COL_FALL_TIME,
                            COL_ON_START_LEVEL, COL_ON_END_LEVEL, COL_OFF_START_LEVEL};
    const float rows[3][7] = {{0, 0, 0, 500, 10, 100, 100},
                              {200, 1500, 100, 500, 10, 100, 100},
                              {2000, 500, 200, 0, 10, 100, 100}};
    for (int n = 1; n <= 3; ++n) {
        for (int i = 0; i < 7; ++i) {
            at(t, columns[i], n) = rows[n - 1][i];
        }
    }
}

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

// Checks the times of the channels listed {channel, on begin, on end, off begin, off end}, and
// that channels 1 to `lit` give light and the others are dark.
void expect_times(const Timeline& timeline, int lit,
                  std::initializer_list<std::array<double, 5>> rows) {
    for (const auto& row : rows) {
        const TimelineChannel& c = timeline.channels[static_cast<int>(row[0]) - 1];
        EXPECT_EQ((std::array<double, 5>{row[0], c.on_begin_ms, c.on_end_ms, c.off_begin_ms,
                                         c.off_end_ms}),
                  row);
    }
    for (int n = 1; n <= CHANNEL_COUNT; ++n) {
        EXPECT_EQ(timeline.channels[n - 1].dark, n > lit) << "channel " << n;
    }
}

} // namespace

TEST(Timeline, TimesOfTheDefaultsTheStaircaseAndOverlappingPhases) {
    // clang-format off
    expect_times(wave(defaults_table), 24, {
        {1, 1, 2, 180001, 180002}, {2, 50, 300, 180050, 180300}, {24, 1150, 6900, 181150, 186900}});
    // The staircase's channels 1 and 15: the command-line cases.
    expect_times(wave(staircase_table), 15, {{2, 150, 650, 181950, 182450}});
    expect_times(wave(overlap_table), 3, {
        {1, 0, 0, 1000, 1500}, {2, 200, 1700, 1100, 1600}, {3, 2000, 2500, 1200, 1200}});
    // clang-format on
}

TEST(Timeline, LevelAtChosenMoments) {
    const Timeline stairs = wave(staircase_table);
    const Timeline overlap = wave(overlap_table);
    const struct {
        const Timeline* timeline;
        int channel;
        double t_ms;
        double level;
    } rows[] = {
        {&stairs, 1, -1, 0.1},       // standby glow before it lights
        {&stairs, 1, 250, 50.05},    // half way up from 0.1 to 100
        {&stairs, 1, 182350, 50.05}, // half way down
        {&stairs, 2, 182450, 0},     // standby off: dark once the fall is over
        {&overlap, 1, -0.5, 0},      // before the detection
        {&overlap, 1, 0, 100},       // rise time 0: a step
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
    const Timeline overlap = wave(overlap_table);
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

// The staircase changed. (The summaries of the defaults, the staircase and the overlapping
// phases are the titles of their pictures in the command-line cases.)
TEST(Timeline, SummaryWords) {
    const struct {
        void (*change)(float*);
        const char* words;
    } rows[] = {
        // One step falls at once: it goes dark before the step above it.
        {[](float* t) { at(t, COL_FALL_TIME, 7) = 0; },
         "lights 1→15, 150 ms apart; goes dark 15→1, 50-300 ms apart, but 7 goes dark before 8; "
         "16-24 dark"},
        {[](float* t) { steps(t, COL_ON_DELAY, 1, 15, 0, 0); },
         "lights 1-15 at once; goes dark 15→1, 150 ms apart; 16-24 dark"},
        {[](float* t) {
             for (int column : {COL_ON_START_LEVEL, COL_ON_END_LEVEL, COL_OFF_START_LEVEL,
                                COL_OFF_END_LEVEL, COL_STANDBY_ENABLED}) {
                 steps(t, column, 1, 15, 0, 0);
             }
         },
         "1-24 dark"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(summary(wave(staircase_table, row.change)), row.words);
    }
}

TEST(Timeline, ValuesThatCannotBeMeantAreReplacedAndSaid) {
    const Timeline timeline = wave(staircase_table, [](float* t) {
        t[POS_OFF_TIMER] = std::numeric_limits<float>::infinity();
        at(t, COL_RISE_TIME, 3) = std::numeric_limits<float>::quiet_NaN();
        at(t, COL_ON_END_LEVEL, 5) = -5;
        at(t, COL_OFF_START_LEVEL, 6) = 250;
        at(t, COL_ON_DELAY, 7) = 1e30f;
    });
    EXPECT_EQ(timeline.channels[2].on_end_ms, 300.0);
    EXPECT_EQ(timeline.channels[2].adjusted, 1u << COL_RISE_TIME);
    EXPECT_EQ(timeline.channels[4].on_end_level, 0.0);
    EXPECT_EQ(timeline.channels[5].off_start_level, 100.0);
    const std::string words = summary(timeline);
    EXPECT_NE(words.find("; 3, 5-7 have values out of range, taken as 0 or the limit; off timer "
                         "out of range, taken as 65535 s"),
              std::string::npos)
        << words;
    // The table marks them; every picture still fits a terminal and holds only numbers.
    const std::string text = timeline_report_text(timeline, true);
    EXPECT_NE(text.find("  7   1193 h*   1193 h* 65536200* 65536700*"), std::string::npos) << text;
    EXPECT_NE(text.find("\n  h: hours, for a time too long to show in ms\n"), std::string::npos);
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
    const Timeline stairs = wave(staircase_table);
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
    TimelineAxis on, off;
    timeline_axes({2600, 180000, 182000}, 34, &on, &off); // alike: one scale
    EXPECT_EQ(on.span_ms, off.span_ms);
    EXPECT_EQ(off.from_ms, 180000);
    timeline_axes({100, 180000, 240000}, 34, &on, &off); // far apart: each its own
    EXPECT_EQ(on.step_ms, 20);
    EXPECT_EQ(timeline_axis_label(off, 2), "20");
}

TEST(Timeline, TerminalTextFitsEightyColumns) {
    // Each look with the columns its lines may fill; an ASCII terminal's chart and table hold no
    // other byte (the summary's arrows are the console's to convert).
    const struct {
        TimelineLook look;
        long columns;
    } looks[] = {{TIMELINE_LOOK_FILE, 79}, {{200, true}, 79}, {{79, true}, 78},
                 {{60, true}, 59},         {{80, false}, 79}, {{61, false}, 60}};
    for (const auto& row : looks) {
        for (Make make : {defaults_table, staircase_table, overlap_table, late_table}) {
            const Timeline timeline = wave(make);
            std::istringstream text(timeline_report_text(timeline, true, row.look));
            for (std::string line; std::getline(text, line);) {
                const auto columns = std::count_if(
                    line.begin(), line.end(), [](unsigned char c) { return (c & 0xC0) != 0x80; });
                EXPECT_LE(columns, row.columns) << row.look.columns << ": " << line;
            }
            const std::string pictures =
                timeline_table_text(timeline, row.look) + timeline_chart_text(timeline, row.look);
            EXPECT_EQ(row.look.unicode, std::any_of(pictures.begin(), pictures.end(),
                                                    [](unsigned char c) { return c >= 0x80; }))
                << pictures;
        }
    }
    EXPECT_EQ(timeline_report_text(wave(staircase_table), true, {59, true}),
              "lights 1→15, 150 ms apart; goes dark 15→1, 150 ms apart;\n   16-24 dark\n\n"
              "The table and the chart need 60 columns; the terminal has 59.\n"
              "Drawn from the settings, not measured: one person at 0 ms\nonly, night assumed.\n");
    const std::string stairs = timeline_report_text(wave(staircase_table), true);
    const size_t dark = stairs.find("\n  16-24: dark, never give light\n");
    EXPECT_NE(dark, std::string::npos);
    EXPECT_EQ(stairs.find("16-24: dark", dark + 5), std::string::npos); // said once, by the table
    // A late channel is marked right of its panel; the axes stay the staircase's own, in ms.
    const Timeline late = wave(late_table);
    TimelinePhases phases;
    timeline_phases(&late, &phases);
    EXPECT_EQ(phases.on_to_ms, 2600);
    EXPECT_EQ(phases.off_to_ms, 182600);
    EXPECT_TRUE(late.channels[6].on_late && !late.channels[6].off_late);
    EXPECT_TRUE(late.channels[7].off_late && !late.channels[7].on_late);
    const std::string chart = timeline_chart_text(late);
    EXPECT_NE(chart.find("\n    ms after the detection"), std::string::npos) << chart;
    std::string glow; // channel 7 rests at its standby glow across the panel
    for (int i = 0; i < 34; ++i) {
        glow += "·";
    }
    EXPECT_NE(chart.find("\n  7 " + glow + "» │  "), std::string::npos) << chart;
    EXPECT_NE(chart.find("\n  » goes on past the axis"), std::string::npos) << chart;
    const std::string svg = timeline_svg(late);
    EXPECT_NE(svg.find(">fully lit at 4294967795 ms »</text>"), std::string::npos);
    EXPECT_NE(svg.find(">dark at 4294967795 ms »</text>"), std::string::npos);
}

TEST(Timeline, DryRunSaysTheWaveBeforeAndAfter) {
    float stairs[SETTINGS_COUNT], changed[SETTINGS_COUNT];
    staircase_table(stairs);
    EXPECT_EQ(timeline_change_text(stairs, stairs), "");
    // An order listed step by step is also cut at its commas, to stay within 80 columns.
    staircase_table(changed);
    steps(changed, COL_ON_DELAY, 1, 15, 0, 75); // odd steps first, then the even ones
    steps(changed, COL_ON_DELAY, 2, 14, 1275, 150, 2);
    EXPECT_EQ(timeline_change_text(stairs, changed),
              "before: lights 1→15, 150 ms apart; goes dark 15→1, 150 ms apart; 16-24 dark\n"
              "after:  lights 150-225 ms apart in the order 1, 3, 5, 7, 9, 11, 13, 15, 2, 4,\n"
              "        6, 8, 10, 12, 14; goes dark 15→1, 150 ms apart; 16-24 dark\n");
}

// Times in JSON are rounded to a tenth as their texts are.
TEST(Timeline, JsonTimesRoundToATenth) {
    const nlohmann::ordered_json json =
        timeline_json(wave(overlap_table, [](float* t) { at(t, COL_RISE_TIME, 1) = 0.25f; }));
    EXPECT_EQ(json["channels"][0].dump(), "{\"channel\":1,\"dark\":false,\"on_begin_ms\":0,"
                                          "\"on_end_ms\":0.3,\"off_begin_ms\":1000,"
                                          "\"off_end_ms\":1500}");
}
