// A field takes the low bits of its packed integer, a negative value thus in two's complement. A
// value whose integer does not fit the signed width the field is cut from (32 bits for u8 and u16
// fields, 64 bits for u32 fields), and a NaN, becomes the most negative integer of that width:
// the field gets 0.
#include "link/wire_image.h"

#include <cmath>

#include "link/crc16.h"

namespace {

constexpr size_t LIGHT_THRESHOLD_AT = 8;
constexpr size_t CHANNELS_AT = 13;
constexpr size_t CHANNEL_RECORD_BYTES = 26;
constexpr size_t STANDBY_MASK_AT = 637;

// A field of the payload filled from one table value.
struct WireField {
    int column;    // table position (globals) or channel column (channel records)
    size_t offset; // in the payload (globals) or in the channel record
    size_t width;  // 1, 2 or 4 bytes
    bool tenths;   // carried as tenths: the value times 10
};

// The plain global fields; the light threshold has its own conversion.
constexpr WireField GLOBAL_FIELDS[] = {
    {POS_SENSOR1_MIN, 0, 2, false}, {POS_SENSOR1_MAX, 2, 2, false},
    {POS_SENSOR2_MIN, 4, 2, false}, {POS_SENSOR2_MAX, 6, 2, false},
    {POS_OFF_TIMER, 10, 2, false},  {POS_USE_LIGHT_SENSOR, 12, 1, false},
};

// The channel record; StandbyEnabled travels in the standby mask instead.
constexpr WireField CHANNEL_FIELDS[] = {
    {COL_ON_DELAY, 0, 4, false},      {COL_ON_START_LEVEL, 4, 2, true},
    {COL_ON_END_LEVEL, 6, 2, true},   {COL_RISE_TIME, 8, 4, false},
    {COL_OFF_DELAY, 12, 4, false},    {COL_OFF_START_LEVEL, 16, 2, true},
    {COL_OFF_END_LEVEL, 18, 2, true}, {COL_FALL_TIME, 20, 4, false},
    {COL_STANDBY_LEVEL, 24, 2, true},
};

// Cuts toward zero; NaN and values beyond [-2^(bits-1), 2^(bits-1)) give -2^(bits-1).
int64_t cut_to_signed(double value, int bits) {
    double limit = std::ldexp(1.0, bits - 1);
    double whole = std::trunc(value);
    if (!(whole >= -limit && whole < limit)) { // also taken by NaN
        return bits == 64 ? INT64_MIN : INT32_MIN;
    }
    return static_cast<int64_t>(whole);
}

void put_le(uint8_t* at, uint64_t value, size_t width) {
    for (size_t i = 0; i < width; ++i) {
        at[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

uint32_t get_le(const uint8_t* at, size_t width) {
    uint32_t value = 0;
    for (size_t i = 0; i < width; ++i) {
        value |= static_cast<uint32_t>(at[i]) << (8 * i);
    }
    return value;
}

// Writes the low bits of a double already offset by WIRE_ROUNDING.
void put_rounded(uint8_t* at, double value, size_t width) {
    int64_t whole = cut_to_signed(value, width == 4 ? 64 : 32);
    put_le(at, static_cast<uint64_t>(whole), width);
}

void pack_field(uint8_t* at, float value, const WireField& field) {
    double scaled = static_cast<double>(value) * (field.tenths ? 10.0 : 1.0);
    put_rounded(at, scaled + WIRE_ROUNDING, field.width);
}

float unpack_field(const uint8_t* at, const WireField& field) {
    uint32_t raw = get_le(at, field.width);
    if (field.tenths) {
        return static_cast<float>(raw / 10.0);
    }
    return static_cast<float>(raw);
}

} // namespace

void wire_image_pack(const float table[SETTINGS_COUNT], uint8_t payload[WIRE_IMAGE_BYTES]) {
    for (const WireField& field : GLOBAL_FIELDS) {
        pack_field(payload + field.offset, table[field.column], field);
    }
    double threshold = static_cast<double>(table[POS_LIGHT_THRESHOLD]);
    put_rounded(payload + LIGHT_THRESHOLD_AT,
                WIRE_THRESHOLD_RAW - (threshold * WIRE_THRESHOLD_OUT_SCALE + WIRE_ROUNDING), 2);

    uint32_t mask = 0;
    for (int channel = 1; channel <= CHANNEL_COUNT; ++channel) {
        uint8_t* record = payload + CHANNELS_AT + CHANNEL_RECORD_BYTES * (channel - 1);
        for (const WireField& field : CHANNEL_FIELDS) {
            pack_field(record + field.offset, table[channel_position(field.column, channel)],
                       field);
        }
        if (table[channel_position(COL_STANDBY_ENABLED, channel)] == 1.0f) {
            mask |= 1u << (channel - 1);
        }
    }
    put_le(payload + STANDBY_MASK_AT, mask, 4);
    put_le(payload + WIRE_IMAGE_CRC_AT, link_crc16(payload, WIRE_IMAGE_CRC_AT), 2);
}

void wire_image_unpack(const uint8_t payload[WIRE_IMAGE_BYTES], float table[SETTINGS_COUNT]) {
    for (const WireField& field : GLOBAL_FIELDS) {
        table[field.column] = unpack_field(payload + field.offset, field);
    }
    double raw = get_le(payload + LIGHT_THRESHOLD_AT, 2);
    table[POS_LIGHT_THRESHOLD] =
        static_cast<float>((WIRE_THRESHOLD_RAW - raw) * 100.0 / WIRE_THRESHOLD_RAW);

    uint32_t mask = get_le(payload + STANDBY_MASK_AT, 4);
    for (int channel = 1; channel <= CHANNEL_COUNT; ++channel) {
        const uint8_t* record = payload + CHANNELS_AT + CHANNEL_RECORD_BYTES * (channel - 1);
        for (const WireField& field : CHANNEL_FIELDS) {
            table[channel_position(field.column, channel)] =
                unpack_field(record + field.offset, field);
        }
        bool on = (mask >> (channel - 1)) & 1u; // bits 24-31 belong to no channel
        table[channel_position(COL_STANDBY_ENABLED, channel)] = on ? 1.0f : 0.0f;
    }
}

bool wire_image_valid(const uint8_t* payload, size_t available) {
    if (payload == nullptr || available < WIRE_IMAGE_BYTES) {
        return false;
    }
    return link_crc16(payload, WIRE_IMAGE_CRC_AT) == get_le(payload + WIRE_IMAGE_CRC_AT, 2);
}
