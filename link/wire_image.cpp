// A field takes the low bits of its packed integer, a negative value thus in two's complement. A
// value whose integer does not fit the signed width the field is cut from (32 bits for u8 and u16
// fields, 64 bits for u32 fields), and a NaN, becomes the most negative integer of that width:
// the field gets 0.
#include "link/wire_image.h"

#include <cmath>

#include "link/crc16.h"

namespace {

static_assert(WIRE_IMAGE_CRC_AT + 2 == WIRE_IMAGE_BYTES);

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

void pack_field(uint8_t* at, float value, const SettingRow& row) {
    double scaled = static_cast<double>(value) * row.wire_scale;
    put_rounded(at, scaled + WIRE_ROUNDING, row.wire_width);
}

float unpack_field(const uint8_t* at, const SettingRow& row) {
    return static_cast<float>(get_le(at, row.wire_width) / static_cast<double>(row.wire_scale));
}

void pack_threshold(uint8_t* at, float percent, const SettingRow& row) {
    const double threshold = static_cast<double>(percent);
    put_rounded(at, WIRE_THRESHOLD_RAW - (threshold * WIRE_THRESHOLD_OUT_SCALE + WIRE_ROUNDING),
                row.wire_width);
}

float unpack_threshold(double raw) {
    return static_cast<float>((WIRE_THRESHOLD_RAW - raw) * 100.0 / WIRE_THRESHOLD_RAW);
}

// Where a position's field stands in the payload: a global row's offset, or the row's offset in
// the record of the position's channel.
size_t field_at(int position, const SettingRow& row) {
    const int channel = setting_channel(position);
    if (channel == 0) {
        return row.wire_at;
    }
    return WIRE_CHANNELS_AT + WIRE_CHANNEL_RECORD_BYTES * (channel - 1) + row.wire_at;
}

uint32_t standby_bit(int position) {
    return 1u << (setting_channel(position) - 1);
}

} // namespace

void wire_image_put(uint8_t payload[WIRE_IMAGE_BYTES], int position, float value) {
    const SettingRow* row = setting_row(position);
    if (row == nullptr) {
        return;
    }
    uint8_t* at = payload + field_at(position, *row);
    switch (row->carry) {
    case WIRE_FIELD:
        pack_field(at, value, *row);
        break;
    case WIRE_THRESHOLD:
        pack_threshold(at, value, *row);
        break;
    case WIRE_MASK: {
        uint32_t mask = get_le(payload + WIRE_STANDBY_MASK_AT, WIRE_STANDBY_MASK_BYTES);
        mask = value == 1.0f ? mask | standby_bit(position) : mask & ~standby_bit(position);
        put_le(payload + WIRE_STANDBY_MASK_AT, mask, WIRE_STANDBY_MASK_BYTES);
        break;
    }
    case WIRE_NOT_CARRIED:
        break;
    }
}

void wire_image_seal(uint8_t payload[WIRE_IMAGE_BYTES]) {
    put_le(payload + WIRE_IMAGE_CRC_AT, link_crc16(payload, WIRE_IMAGE_CRC_AT), 2);
}

bool wire_image_field_range(int position, double* lowest, double* highest) {
    const SettingRow* row = setting_row(position);
    const WireCarry carry = row != nullptr ? row->carry : WIRE_NOT_CARRIED;
    *lowest = 0.0;
    *highest = 1.0;
    switch (carry) {
    case WIRE_FIELD:
        *highest = setting_field_highest(*row);
        return true;
    case WIRE_THRESHOLD: // the raw value goes the other way: its largest gives the lowest percent
        *lowest = unpack_threshold(std::ldexp(1.0, 8 * row->wire_width) - 1.0);
        *highest = unpack_threshold(0);
        return true;
    case WIRE_MASK:
        return true;
    case WIRE_NOT_CARRIED:
        break;
    }
    return false;
}

// Every byte but the CRC belongs to a field or to the mask, so putting every value into a payload
// whose mask starts empty writes all of it.
void wire_image_pack(const float table[SETTINGS_COUNT], uint8_t payload[WIRE_IMAGE_BYTES]) {
    put_le(payload + WIRE_STANDBY_MASK_AT, 0, WIRE_STANDBY_MASK_BYTES);
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        wire_image_put(payload, p, table[p]);
    }
    wire_image_seal(payload);
}

void wire_image_unpack(const uint8_t payload[WIRE_IMAGE_BYTES], float table[SETTINGS_COUNT]) {
    const uint32_t mask = get_le(payload + WIRE_STANDBY_MASK_AT, WIRE_STANDBY_MASK_BYTES);
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        const SettingRow& row = *setting_row(p);
        const uint8_t* at = payload + field_at(p, row);
        switch (row.carry) {
        case WIRE_FIELD:
            table[p] = unpack_field(at, row);
            break;
        case WIRE_THRESHOLD:
            table[p] = unpack_threshold(get_le(at, row.wire_width));
            break;
        case WIRE_MASK: // bits 24-31 belong to no channel
            table[p] = (mask & standby_bit(p)) != 0 ? 1.0f : 0.0f;
            break;
        case WIRE_NOT_CARRIED:
            break;
        }
    }
}

bool wire_image_valid(const uint8_t* payload, size_t available) {
    if (payload == nullptr || available < WIRE_IMAGE_BYTES) {
        return false;
    }
    return link_crc16(payload, WIRE_IMAGE_CRC_AT) == get_le(payload + WIRE_IMAGE_CRC_AT, 2);
}
