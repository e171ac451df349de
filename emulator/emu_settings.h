// The controller's settings store: the payload it answers a settings read with and takes from a
// settings write. The controller keeps the bytes as they came; this file builds its factory
// contents from the defaults table with an encoder of its own (scaled integers rounded with
// +0.4999, the light threshold as a raw sensor value, the standby flags as a bit mask) and checks
// and seals the payload's own CRC-16.
//
// The emulator describes the payload and the settings table itself, apart from the program, so
// that a field or a column the program moves shows up as a difference instead of being mirrored.
#pragma once

#include <cstddef>
#include <cstdint>

#include "emulator/emu_frame.h"

// ---- The settings table as the PC holds it ----------------------------------------------------
// 248 floats: eight global values, then ten columns of 24 channels, column after column.
constexpr int EMU_TABLE_VALUES = 248;
constexpr int EMU_CHANNELS = 24;

// Places of the global values in the table.
enum EmuGlobal : int {
    EMU_SENSOR1_MIN = 0,
    EMU_SENSOR1_MAX = 1,
    EMU_SENSOR2_MIN = 2,
    EMU_SENSOR2_MAX = 3,
    EMU_LIGHT_THRESHOLD = 4, // percent
    EMU_USE_LIGHT_SENSOR = 5,
    EMU_OFF_TIMER = 6,
    EMU_REPEAT_TIMER = 7, // not in the payload
};

// The channel columns.
enum EmuColumn : int {
    EMU_ON_DELAY = 0,
    EMU_ON_START_LEVEL = 1,
    EMU_ON_END_LEVEL = 2,
    EMU_RISE_TIME = 3,
    EMU_OFF_DELAY = 4,
    EMU_OFF_START_LEVEL = 5,
    EMU_OFF_END_LEVEL = 6,
    EMU_FALL_TIME = 7,
    EMU_STANDBY_ENABLED = 8, // in the standby mask
    EMU_STANDBY_LEVEL = 9,
};

// Place in the table of column `column` of channel `channel` (1..24).
constexpr int emu_table_at(int column, int channel) {
    return 8 + EMU_CHANNELS * column + (channel - 1);
}

// ---- The payload -------------------------------------------------------------------------
// The global fields, then one record per channel, then the standby mask (bit n - 1 for channel
// n), then the CRC-16 over every byte before it.
constexpr size_t EMU_THRESHOLD_AT = 8;      // u16, the raw light-sensor value
constexpr size_t EMU_RECORDS_AT = 13;       // channel 1's record
constexpr size_t EMU_RECORD_BYTES = 26;     // one channel's record
constexpr size_t EMU_STANDBY_MASK_AT = 637; // u32
constexpr size_t EMU_SETTINGS_CRC_AT = 641;

// A plain field: the value times `scale`, as an integer of `width` bytes at `at`.
struct EmuField {
    int value;    // global: its place in the table; in a record: its column
    size_t at;    // in the payload, or in the channel's record
    size_t width; // 1, 2 or 4 bytes
    double scale; // 1, or 10 for tenths
};

// clang-format off
inline constexpr EmuField EMU_GLOBAL_FIELDS[] = {
    {EMU_SENSOR1_MIN, 0, 2, 1.0},       {EMU_SENSOR1_MAX, 2, 2, 1.0},
    {EMU_SENSOR2_MIN, 4, 2, 1.0},       {EMU_SENSOR2_MAX, 6, 2, 1.0},
    {EMU_OFF_TIMER, 10, 2, 1.0},        {EMU_USE_LIGHT_SENSOR, 12, 1, 1.0},
};
inline constexpr EmuField EMU_RECORD_FIELDS[] = {
    {EMU_ON_DELAY, 0, 4, 1.0},          {EMU_ON_START_LEVEL, 4, 2, 10.0},
    {EMU_ON_END_LEVEL, 6, 2, 10.0},     {EMU_RISE_TIME, 8, 4, 1.0},
    {EMU_OFF_DELAY, 12, 4, 1.0},        {EMU_OFF_START_LEVEL, 16, 2, 10.0},
    {EMU_OFF_END_LEVEL, 18, 2, 10.0},   {EMU_FALL_TIME, 20, 4, 1.0},
    {EMU_STANDBY_LEVEL, 24, 2, 10.0},
};
// clang-format on

// The factory table: every setting as the controller leaves the factory.
void emu_settings_factory_table(float table[EMU_TABLE_VALUES]);

// Encodes a settings table into the payload, its CRC included.
void emu_settings_encode(const float table[EMU_TABLE_VALUES], uint8_t out[EMU_SETTINGS_BYTES]);

// The factory payload.
void emu_settings_factory(uint8_t out[EMU_SETTINGS_BYTES]);

bool emu_settings_crc_ok(const uint8_t payload[EMU_SETTINGS_BYTES]);
void emu_settings_seal(uint8_t payload[EMU_SETTINGS_BYTES]);
