// Layout of the SettingsTable: 248 single-precision values, eight global values at positions
// 0 to 7, then ten channel columns of 24 channels, column after column. Everything that moves
// settings around (the form, the controller payload, the settings file) addresses the table
// through these names.
#pragma once

#include <cstdint>

constexpr int SETTINGS_COUNT = 248;
constexpr int CHANNEL_COUNT = 24;
constexpr int CHANNEL_COLUMNS = 10;
constexpr int GLOBAL_COUNT = 8;

// Positions of the global values.
enum GlobalPosition : int {
    POS_SENSOR1_MIN = 0,
    POS_SENSOR1_MAX = 1,
    POS_SENSOR2_MIN = 2,
    POS_SENSOR2_MAX = 3,
    POS_LIGHT_THRESHOLD = 4,  // %, 0 night to 100 day
    POS_USE_LIGHT_SENSOR = 5, // flag
    POS_OFF_TIMER = 6,        // s
    POS_REPEAT_TIMER = 7,     // s, hidden in the form, never sent nor saved
};

// Channel columns.
enum ChannelColumn : int {
    COL_ON_DELAY = 0,        // ms
    COL_ON_START_LEVEL = 1,  // %
    COL_ON_END_LEVEL = 2,    // %
    COL_RISE_TIME = 3,       // ms
    COL_OFF_DELAY = 4,       // ms
    COL_OFF_START_LEVEL = 5, // %
    COL_OFF_END_LEVEL = 6,   // %
    COL_FALL_TIME = 7,       // ms
    COL_STANDBY_ENABLED = 8, // flag
    COL_STANDBY_LEVEL = 9,   // %
};

// Position of column `column` (0..9) of channel number `channel` (1..24).
constexpr int channel_position(int column, int channel) {
    return GLOBAL_COUNT + CHANNEL_COUNT * column + (channel - 1);
}
