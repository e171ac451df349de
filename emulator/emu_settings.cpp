#include "emulator/emu_settings.h"

#include <cmath>

#include "link/crc16.h"

void emu_settings_factory_table(float table[SETTINGS_COUNT]) {
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        table[p] = 0.0f;
    }
    table[POS_SENSOR1_MIN] = 0.0f;
    table[POS_SENSOR1_MAX] = 100.0f;
    table[POS_SENSOR2_MIN] = 0.0f;
    table[POS_SENSOR2_MAX] = 100.0f;
    table[POS_LIGHT_THRESHOLD] = 50.0f;
    table[POS_USE_LIGHT_SENSOR] = 1.0f;
    table[POS_OFF_TIMER] = 180.0f;
    table[POS_REPEAT_TIMER] = 5.0f;
    for (int n = 1; n <= CHANNEL_COUNT; ++n) {
        int k = n - 1;
        // Channel 1 starts at once: its times are 1 ms rather than 0.
        float step_time = n == 1 ? 1.0f : static_cast<float>(50 * k);
        float ramp_time = n == 1 ? 1.0f : static_cast<float>(250 * k);
        bool odd = (n % 2) == 1;
        table[channel_position(COL_ON_DELAY, n)] = step_time;
        table[channel_position(COL_ON_START_LEVEL, n)] = 0.1f;
        table[channel_position(COL_ON_END_LEVEL, n)] = 100.0f;
        table[channel_position(COL_RISE_TIME, n)] = ramp_time;
        table[channel_position(COL_OFF_DELAY, n)] = step_time;
        table[channel_position(COL_OFF_START_LEVEL, n)] = 100.0f;
        table[channel_position(COL_OFF_END_LEVEL, n)] = 0.1f;
        table[channel_position(COL_FALL_TIME, n)] = ramp_time;
        table[channel_position(COL_STANDBY_ENABLED, n)] = odd ? 1.0f : 0.0f;
        table[channel_position(COL_STANDBY_LEVEL, n)] = odd ? 0.1f : 0.0f;
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

static uint16_t as_u16(float value, double scale) {
    return static_cast<uint16_t>(rounded(value, scale, 2147483648.0) & 0xFFFF);
}

static uint32_t as_u32(float value) {
    return static_cast<uint32_t>(rounded(value, 1.0, 9223372036854775808.0) & 0xFFFFFFFF);
}

static uint16_t light_threshold_raw(float percent) {
    double v = 4096.0 - (static_cast<double>(percent) * 40.95 + 0.4999);
    if (!(v > -2147483649.0 && v < 2147483648.0)) {
        return 0;
    }
    return static_cast<uint16_t>(static_cast<int64_t>(std::trunc(v)) & 0xFFFF);
}

static void encode_channel(const float* t, int n, uint8_t* r) {
    emu_put_u32(r + 0, as_u32(t[channel_position(COL_ON_DELAY, n)]));
    emu_put_u16(r + 4, as_u16(t[channel_position(COL_ON_START_LEVEL, n)], 10.0));
    emu_put_u16(r + 6, as_u16(t[channel_position(COL_ON_END_LEVEL, n)], 10.0));
    emu_put_u32(r + 8, as_u32(t[channel_position(COL_RISE_TIME, n)]));
    emu_put_u32(r + 12, as_u32(t[channel_position(COL_OFF_DELAY, n)]));
    emu_put_u16(r + 16, as_u16(t[channel_position(COL_OFF_START_LEVEL, n)], 10.0));
    emu_put_u16(r + 18, as_u16(t[channel_position(COL_OFF_END_LEVEL, n)], 10.0));
    emu_put_u32(r + 20, as_u32(t[channel_position(COL_FALL_TIME, n)]));
    emu_put_u16(r + 24, as_u16(t[channel_position(COL_STANDBY_LEVEL, n)], 10.0));
}

void emu_settings_encode(const float table[SETTINGS_COUNT], uint8_t out[EMU_SETTINGS_BYTES]) {
    emu_put_u16(out + 0, as_u16(table[POS_SENSOR1_MIN], 1.0));
    emu_put_u16(out + 2, as_u16(table[POS_SENSOR1_MAX], 1.0));
    emu_put_u16(out + 4, as_u16(table[POS_SENSOR2_MIN], 1.0));
    emu_put_u16(out + 6, as_u16(table[POS_SENSOR2_MAX], 1.0));
    emu_put_u16(out + 8, light_threshold_raw(table[POS_LIGHT_THRESHOLD]));
    emu_put_u16(out + 10, as_u16(table[POS_OFF_TIMER], 1.0));
    out[12] = static_cast<uint8_t>(as_u16(table[POS_USE_LIGHT_SENSOR], 1.0));
    uint32_t mask = 0;
    for (int n = 1; n <= CHANNEL_COUNT; ++n) {
        encode_channel(table, n, out + 13 + 26 * (n - 1));
        if (table[channel_position(COL_STANDBY_ENABLED, n)] == 1.0f) {
            mask |= 1u << (n - 1);
        }
    }
    emu_put_u32(out + 637, mask);
    emu_settings_seal(out);
}

void emu_settings_factory(uint8_t out[EMU_SETTINGS_BYTES]) {
    float table[SETTINGS_COUNT];
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
