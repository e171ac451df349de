// Settings tables the timeline tests draw: the emulator's factory defaults and tables written out
// value by value.
#pragma once

#include <cstring>

#include "emulator/emu_settings.h"
#include "settings/settings_layout.h"

// The factory defaults, as the emulator holds them: channel k has on-delay and off-delay 50(k-1),
// rise and fall time 250(k-1), channel 1's four times 1; levels 0.1 / 100 / 100 / 0.1; standby on
// with 0.1 on the odd channels; off timer 180 s.
inline void timeline_defaults_table(float table[SETTINGS_COUNT]) {
    emu_settings_factory_table(table);
}

// The documented staircase: the defaults with steps 1-15 lighting from the bottom 150 ms apart
// and going dark from the top 150 ms apart, each in 500 ms, and 16-24 giving no light.
inline void timeline_staircase_table(float table[SETTINGS_COUNT]) {
    // clang-format off
    static const float on_delay[15]  = {0, 150, 300, 450, 600, 750, 900, 1050, 1200, 1350, 1500,
                                        1650, 1800, 1950, 2100};
    static const float off_delay[15] = {2100, 1950, 1800, 1650, 1500, 1350, 1200, 1050, 900, 750,
                                        600, 450, 300, 150, 0};
    // clang-format on
    timeline_defaults_table(table);
    for (int n = 1; n <= 15; ++n) {
        table[channel_position(COL_ON_DELAY, n)] = on_delay[n - 1];
        table[channel_position(COL_OFF_DELAY, n)] = off_delay[n - 1];
        table[channel_position(COL_RISE_TIME, n)] = 500.0f;
        table[channel_position(COL_FALL_TIME, n)] = 500.0f;
    }
    for (int n = 16; n <= 24; ++n) {
        for (int column : {COL_ON_START_LEVEL, COL_ON_END_LEVEL, COL_OFF_START_LEVEL,
                           COL_OFF_END_LEVEL, COL_STANDBY_LEVEL}) {
            table[channel_position(column, n)] = 0.0f;
        }
    }
}

// Phases that overlap, and a zero rise and fall time: off timer 1 s, channels 4-24 give no
// light, standby off everywhere, levels 10 -> 100 on and 100 -> 0 off.
// - 1: lights at 0 in a step (rise 0), goes dark 1000..1500;
// - 2: rises 200..1700 but its switching off begins at 1100 and takes over, dark at 1600;
// - 3: its switching on would begin at 2000, after its switching off at 1200 (fall 0).
inline void timeline_overlap_table(float table[SETTINGS_COUNT]) {
    memset(table, 0, sizeof(float) * SETTINGS_COUNT);
    table[POS_OFF_TIMER] = 1.0f;
    // clang-format off
    struct Row { float on_delay, rise, off_delay, fall; };
    static const Row rows[3] = {
        {   0.0f,    0.0f,   0.0f, 500.0f},
        { 200.0f, 1500.0f, 100.0f, 500.0f},
        {2000.0f,  500.0f, 200.0f,   0.0f},
    };
    // clang-format on
    for (int n = 1; n <= 3; ++n) {
        table[channel_position(COL_ON_DELAY, n)] = rows[n - 1].on_delay;
        table[channel_position(COL_RISE_TIME, n)] = rows[n - 1].rise;
        table[channel_position(COL_OFF_DELAY, n)] = rows[n - 1].off_delay;
        table[channel_position(COL_FALL_TIME, n)] = rows[n - 1].fall;
        table[channel_position(COL_ON_START_LEVEL, n)] = 10.0f;
        table[channel_position(COL_ON_END_LEVEL, n)] = 100.0f;
        table[channel_position(COL_OFF_START_LEVEL, n)] = 100.0f;
    }
}
