// The settings, one row each: a row for every global value and one for every channel column,
// holding all there is to know of it: the name scripts know it by, its unit, how the form shows
// it, its control, where and how the controller's payload carries it and where the settings file
// stores it. The form, both packers, the file format, the command-line tool's names and JSON,
// the range a field holds and the light wave all read these rows.
//
// The SettingsTable itself is 248 single-precision values: the eight global values at positions
// 0 to 7 (row p of GlobalRows is position p), then the ten channel columns of 24 channels, column
// after column (row c of ChannelRows is column c of every channel).
//
// The payload (WIRE_IMAGE_BYTES, little-endian, unaligned): the global fields, then the 24 channel
// records in channel order, then the standby mask (StandbyEnabled of channel n is bit n - 1),
// then its own CRC-16 over every byte before it. The file image: the global values a file holds,
// then one record per channel, the last ending before its StandbyEnabled.
#pragma once

#include <cstddef>
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
    POS_LIGHT_THRESHOLD = 4,
    POS_USE_LIGHT_SENSOR = 5,
    POS_OFF_TIMER = 6,
    POS_REPEAT_TIMER = 7,
};

// Channel columns.
enum ChannelColumn : int {
    COL_ON_DELAY = 0,
    COL_ON_START_LEVEL = 1,
    COL_ON_END_LEVEL = 2,
    COL_RISE_TIME = 3,
    COL_OFF_DELAY = 4,
    COL_OFF_START_LEVEL = 5,
    COL_OFF_END_LEVEL = 6,
    COL_FALL_TIME = 7,
    COL_STANDBY_ENABLED = 8,
    COL_STANDBY_LEVEL = 9,
};

// Position of column `column` (0..9) of channel number `channel` (1..24).
constexpr int channel_position(int column, int channel) {
    return GLOBAL_COUNT + CHANNEL_COUNT * column + (channel - 1);
}

// How a value appears in the form.
enum ValueKind : int {
    VALUE_WHOLE,     // distances, timers and times: a whole number
    VALUE_TENTHS,    // brightness levels: one decimal
    VALUE_FLAG,      // a check box, on exactly when the value is 1.0
    VALUE_THRESHOLD, // LightThreshold: one decimal from a file, whole from the controller
};

// How the controller's payload carries a value.
enum WireCarry : int {
    WIRE_FIELD,       // an integer field: the value times its scale, rounded by the packing rule
    WIRE_THRESHOLD,   // the light threshold: a raw sensor value, by a conversion of its own
    WIRE_MASK,        // a standby flag: one bit of the standby mask, none of the record's bytes
    WIRE_NOT_CARRIED, // RepeatTimer: the payload has no place for it
};

// One setting: a global value, or a channel column (the same for each of the 24 channels).
// Its captions are the form's: a global value's field is named by the caption of its row (the
// label beside it) and of its column (the group over it), where it has one; a channel column's
// field by the row of its channel, SETTING_CHANNEL_ROW_CAPTION and the channel number
// ("Лестница 3"), and by the column's caption, both lines of it ("Нач. ярк. вкл., %").
struct SettingRow {
    const char* name;   // the name scripts know it by (show --json, set); null: it has none
    const char* unit;   // of its value: "cm", "%", "s", "ms"; "" for a flag
    ValueKind kind;     // how the form shows it
    int32_t control_id; // its control in the form; 0 for a channel column (see ControlIdGrid)
    WireCarry carry;    // how the payload carries it
    uint16_t wire_at;   // its field's offset: in the payload (global), in a channel's record
    uint8_t wire_width; // its field's bytes: 1, 2 or 4; 0 without a field
    uint8_t wire_scale; // the field's integer is the value times this (10: tenths); 0: no plain one
    int8_t file_index;  // its float in the file image (global) or in a channel's record; -1: none
    const char16_t* row_caption;    // a global value's row in the form; null for a channel column
    const char16_t* column_caption; // the column (or group) over the field; null: it has none
};

inline constexpr char16_t SETTING_CHANNEL_ROW_CAPTION[] = u"Лестница"; // then the channel number

// ---- The controller's payload ----------------------------------------------------------------
constexpr size_t WIRE_CHANNELS_AT = 13;          // channel 1's record, the others one by one after
constexpr size_t WIRE_CHANNEL_RECORD_BYTES = 26; // one channel record
constexpr size_t WIRE_STANDBY_MASK_AT = 637;     // u32; bits 24 to 31 belong to no channel
constexpr size_t WIRE_STANDBY_MASK_BYTES = 4;
constexpr size_t WIRE_IMAGE_CRC_AT = 641; // the inner CRC-16, over every byte before it

// ---- The settings file's image ---------------------------------------------------------------
constexpr int SETTINGS_FILE_GLOBAL_FLOATS = 7;  // the global values stored, before the records
constexpr int SETTINGS_FILE_RECORD_FLOATS = 10; // one channel record

// clang-format off
inline constexpr SettingRow GlobalRows[GLOBAL_COUNT] = {
    // name                      unit  kind             control carry             at  width scale file row caption                            column caption
    {"sensor1_min_cm",          "cm", VALUE_WHOLE,      1006, WIRE_FIELD,         0,  2, 1,  0, u"Датчик 1, см",                       u"Минимум"},  // Sensor1Min
    {"sensor1_max_cm",          "cm", VALUE_WHOLE,      1009, WIRE_FIELD,         2,  2, 1,  2, u"Датчик 1, см",                       u"Максимум"}, // Sensor1Max
    {"sensor2_min_cm",          "cm", VALUE_WHOLE,      1007, WIRE_FIELD,         4,  2, 1,  1, u"Датчик 2, см",                       u"Минимум"},  // Sensor2Min
    {"sensor2_max_cm",          "cm", VALUE_WHOLE,      1010, WIRE_FIELD,         6,  2, 1,  3, u"Датчик 2, см",                       u"Максимум"}, // Sensor2Max
    {"light_threshold_percent", "%",  VALUE_THRESHOLD,  1008, WIRE_THRESHOLD,     8,  2, 0,  4, u"Освещённость, %",                    nullptr},     // LightThreshold, 0 night to 100 day
    {"use_light_sensor",        "",   VALUE_FLAG,       1302, WIRE_FIELD,        12,  1, 1,  5, u"Использовать датчик освещенности",   nullptr},     // UseLightSensor
    {"off_timer_s",             "s",  VALUE_WHOLE,      1304, WIRE_FIELD,        10,  2, 1,  6, u"Таймер Выкл., с",                    nullptr},     // OffTimer
    {nullptr,                   "s",  VALUE_WHOLE,      1309, WIRE_NOT_CARRIED,   0,  0, 0, -1, u"Таймер Повт., с",                    nullptr},     // RepeatTimer, hidden in the form, never sent nor saved
};

inline constexpr SettingRow ChannelRows[CHANNEL_COLUMNS] = {
    // name                      unit  kind          control carry       at  width scale file row      column caption
    {"on_delay_ms",             "ms", VALUE_WHOLE,  0,      WIRE_FIELD,  0,  4, 1,   0, nullptr, u"Задержка вкл., мс"},  // OnDelay
    {"on_start_level_percent",  "%",  VALUE_TENTHS, 0,      WIRE_FIELD,  4,  2, 10,  1, nullptr, u"Нач. ярк. вкл., %"},  // OnStartLevel
    {"on_end_level_percent",    "%",  VALUE_TENTHS, 0,      WIRE_FIELD,  6,  2, 10,  2, nullptr, u"Кон. ярк. вкл., %"},  // OnEndLevel
    {"rise_time_ms",            "ms", VALUE_WHOLE,  0,      WIRE_FIELD,  8,  4, 1,   3, nullptr, u"Нараст. ярк., мс"},   // RiseTime
    {"off_delay_ms",            "ms", VALUE_WHOLE,  0,      WIRE_FIELD, 12,  4, 1,   4, nullptr, u"Задержка выкл., мс"}, // OffDelay
    {"off_start_level_percent", "%",  VALUE_TENTHS, 0,      WIRE_FIELD, 16,  2, 10,  5, nullptr, u"Нач. ярк. выкл., %"}, // OffStartLevel
    {"off_end_level_percent",   "%",  VALUE_TENTHS, 0,      WIRE_FIELD, 18,  2, 10,  6, nullptr, u"Кон. ярк. выкл., %"}, // OffEndLevel
    {"fall_time_ms",            "ms", VALUE_WHOLE,  0,      WIRE_FIELD, 20,  4, 1,   7, nullptr, u"Спад ярк., мс"},      // FallTime
    {"standby_enabled",         "",   VALUE_FLAG,   0,      WIRE_MASK,   0,  0, 0,   9, nullptr, u"Деж. режим"},         // StandbyEnabled
    {"standby_level_percent",   "%",  VALUE_TENTHS, 0,      WIRE_FIELD, 24,  2, 10,  8, nullptr, u"Ярк. деж. реж., %"},  // StandbyLevel
};
// clang-format on

// The row of table position 0..247; null for any other position.
const SettingRow* setting_row(int position);

// The channel number (1..24) of a channel position; 0 for a global value or any other position.
int setting_channel(int position);

// How the form shows the value at a position (VALUE_WHOLE for a position outside the table).
ValueKind settings_value_kind(int position);

// The largest value a plain field (WIRE_FIELD) gives back: its largest integer over its scale.
constexpr double setting_field_highest(const SettingRow& row) {
    return static_cast<double>((uint64_t{1} << (8 * row.wire_width)) - 1) / row.wire_scale;
}
