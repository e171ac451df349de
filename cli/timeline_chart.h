// The wave of the settings as text for a terminal, in UTF-8, every line within 80 columns (or
// the terminal's width, down to TIMELINE_MIN_COLUMNS): a
// table of each channel's times and levels, and a chart with one row per channel (the top step
// on top), time across, the level as shading, the switching on and the switching off side by
// side on axes of their own. Channels that never give light take one line together. The axes
// leave out the channels whose phase is late (settings/timeline.h), which are marked "»" right
// of the panel and explained under the chart.
//
// The shading uses the block elements " ·░▒▓█": their ink grows with the level, so they read as
// brightness without colour, in print and on a monochrome screen, and every console font has
// them (the Windows console shows them through WriteConsoleW). The dot stands for a glow under
// 5 %, such as a standby level of 0.1 %, which would otherwise look the same as off. A terminal
// that shows no Unicode gets the same in ASCII: " .-+*#" and "->" for the arrow.
#pragma once

#include <string>

#include "settings/timeline.h"

// Where the text goes: the terminal's width in columns (0: no limit, laid out for 80 as in a
// file; from 80 on the same) and whether it shows Unicode. Below 80 columns the table comes in
// two parts, the times and then the levels, and the chart's panels narrow; below
// TIMELINE_MIN_COLUMNS one line says how many the table and the chart need.
struct TimelineLook {
    int columns;
    bool unicode;
};
inline constexpr TimelineLook TIMELINE_LOOK_FILE = {0, true};
inline constexpr int TIMELINE_MIN_COLUMNS = 60;

// One row per channel that gives light: when it starts to light, is fully lit, starts to go
// dark and is dark (ms from the detection, or hours for a time too long for its column), its
// resting level and its four levels; a value the wave took in place of the one given is marked
// with '*' and explained under the table.
std::string timeline_table_text(const Timeline& timeline,
                                const TimelineLook& look = TIMELINE_LOOK_FILE);

// The chart with its axes and its legend; the table above it names the dark channels.
std::string timeline_chart_text(const Timeline& timeline,
                                const TimelineLook& look = TIMELINE_LOOK_FILE);

// What `timeline` prints: the summary, the table, the chart if asked for, and TIMELINE_NOTE.
std::string timeline_report_text(const Timeline& timeline, bool with_chart,
                                 const TimelineLook& look = TIMELINE_LOOK_FILE);

// What a dry run of `set` or `write` says of the wave: its summary before and after the change
// ("before: ...", "after:  ..."), or one line when the change leaves the summary as it was
// ("unchanged: ..."); nothing when the two tables hold the same values. Within 80 columns.
std::string timeline_change_text(const float before[SETTINGS_COUNT],
                                 const float after[SETTINGS_COUNT]);
