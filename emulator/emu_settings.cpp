#include "emulator/emu_settings.h"

#include <cmath>

#include "link/crc16.h"

void emu_settings_factory_table(float table[EMU_TABLE_VALUES]) {
    for (int p = 0; p < EMU_TABLE_VALUES; ++p) {
        table[p] = 0.0f;
    }
    table[EMU_SENSOR1_MIN] = 0.0f;
    table[EMU_SENSOR1_MAX] = 100.0f;
    table[EMU_SENSOR2_MIN] = 0.0f;
    table[EMU_SENSOR2_MAX] = 100.0f;
    table[EMU_LIGHT_THRESHOLD] = 50.0f;
    table[EMU_USE_LIGHT_SENSOR] = 1.0f;
    table[EMU_OFF_TIMER] = 180.0f;
    table[EMU_REPEAT_TIMER] = 5.0f;
    for (int n = 1; n <= EMU_CHANNELS; ++n) {
        int k = n - 1;
        // Channel 1 starts at once: its times are 1 ms rather than 0.
        float step_time = n == 1 ? 1.0f : static_cast<float>(50 * k);
        float ramp_time = n == 1 ? 1.0f : static_cast<float>(250 * k);
        bool odd = (n % 2) == 1;
        table[emu_table_at(EMU_ON_DELAY, n)] = step_time;
        table[emu_table_at(EMU_ON_START_LEVEL, n)] = 0.1f;
        table[emu_table_at(EMU_ON_END_LEVEL, n)] = 100.0f;
        table[emu_table_at(EMU_RISE_TIME, n)] = ramp_time;
        table[emu_table_at(EMU_OFF_DELAY, n)] = step_time;
        table[emu_table_at(EMU_OFF_START_LEVEL, n)] = 100.0f;
        table[emu_table_at(EMU_OFF_END_LEVEL, n)] = 0.1f;
        table[emu_table_at(EMU_FALL_TIME, n)] = ramp_time;
        table[emu_table_at(EMU_STANDBY_ENABLED, n)] = odd ? 1.0f : 0.0f;
        table[emu_table_at(EMU_STANDBY_LEVEL, n)] = odd ? 0.1f : 0.0f;
    }
}

// Scaled value + 0.4999, cut toward zero. Values beyond the integer's range and NaN give the
// most negative integer, whose low bits are 0.
static int64_t rounded(double value, double scale, double limit) {
    double v = value * scale + 0.4999;
    if (!(v > -limit - 1.0 && v < limit)) {
        return static_cast<int64_t>(-limit);
    }
    return static_cast<int64_t>(std::trunc(v));
}

// The low bytes of the rounded value, little-endian: u32 fields are cut from a 64-bit integer,
// the narrower ones from a 32-bit one.
static void put_field(uint8_t* at, float value, const EmuField& field) {
    const double limit = field.width == 4 ? 9223372036854775808.0 : 2147483648.0;
    const uint64_t bits = static_cast<uint64_t>(rounded(value, field.scale, limit));
    for (size_t i = 0; i < field.width; ++i) {
        at[i] = static_cast<uint8_t>(bits >> (8 * i));
    }
}

static uint16_t light_threshold_raw(float percent) {
    double v = 4096.0 - (static_cast<double>(percent) * 40.95 + 0.4999);
    if (!(v > -2147483649.0 && v < 2147483648.0)) {
        return 0;
    }
    return static_cast<uint16_t>(static_cast<int64_t>(std::trunc(v)) & 0xFFFF);
}

void emu_settings_encode(const float table[EMU_TABLE_VALUES], uint8_t out[EMU_SETTINGS_BYTES]) {
    for (const EmuField& field : EMU_GLOBAL_FIELDS) {
        put_field(out + field.at, table[field.value], field);
    }
    emu_put_u16(out + EMU_THRESHOLD_AT, light_threshold_raw(table[EMU_LIGHT_THRESHOLD]));
    uint32_t mask = 0;
    for (int n = 1; n <= EMU_CHANNELS; ++n) {
        uint8_t* record = out + EMU_RECORDS_AT + EMU_RECORD_BYTES * (n - 1);
        for (const EmuField& field : EMU_RECORD_FIELDS) {
            put_field(record + field.at, table[emu_table_at(field.value, n)], field);
        }
        if (table[emu_table_at(EMU_STANDBY_ENABLED, n)] == 1.0f) {
            mask |= 1u << (n - 1);
        }
    }
    emu_put_u32(out + EMU_STANDBY_MASK_AT, mask);
    emu_settings_seal(out);
}

void emu_settings_factory(uint8_t out[EMU_SETTINGS_BYTES]) {
    float table[EMU_TABLE_VALUES];
    emu_settings_factory_table(table);
    emu_settings_encode(table, out);
}

bool emu_settings_crc_ok(const uint8_t payload[EMU_SETTINGS_BYTES]) {
    return emu_get_u16(payload + EMU_SETTINGS_CRC_AT) ==
           link_crc16(payload, static_cast<uint16_t>(EMU_SETTINGS_CRC_AT));
}

void emu_settings_seal(uint8_t payload[EMU_SETTINGS_BYTES]) {
    emu_put_u16(payload + EMU_SETTINGS_CRC_AT,
                link_crc16(payload, static_cast<uint16_t>(EMU_SETTINGS_CRC_AT)));
}
