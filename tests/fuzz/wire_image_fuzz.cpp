// The controller's settings payload: a settings reply as received, and the table packed for a
// settings write whatever its float values.
//
// Input: the payload bytes as they stand in RX after the frame start (any count). When they pass
// wire_image_valid they are unpacked into a table, which is packed again. Then the input, read
// cyclically as 248 float bit patterns (NaN, infinities, huge and negative values included),
// is packed. Every field is checked against the payload layout written out here once more.
#include <cstring>
#include <vector>

#include "link/wire_image.h"
#include "settings/settings_layout.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

constexpr size_t PAYLOAD_BYTES = 643;
constexpr size_t LIGHT_AT = 8;
constexpr size_t MASK_AT = 637;
constexpr size_t CRC_AT = 641;

struct Field {
    int position; // global position, or channel column for channel fields
    size_t at;    // offset in the payload, or in the 26-byte channel record
    size_t width;
    double scale;
};

constexpr Field GLOBALS[] = {
    {POS_SENSOR1_MIN, 0, 2, 1}, {POS_SENSOR1_MAX, 2, 2, 1}, {POS_SENSOR2_MIN, 4, 2, 1},
    {POS_SENSOR2_MAX, 6, 2, 1}, {POS_OFF_TIMER, 10, 2, 1},  {POS_USE_LIGHT_SENSOR, 12, 1, 1},
};

constexpr Field CHANNEL[] = {
    {COL_ON_DELAY, 0, 4, 1},        {COL_ON_START_LEVEL, 4, 2, 10},
    {COL_ON_END_LEVEL, 6, 2, 10},   {COL_RISE_TIME, 8, 4, 1},
    {COL_OFF_DELAY, 12, 4, 1},      {COL_OFF_START_LEVEL, 16, 2, 10},
    {COL_OFF_END_LEVEL, 18, 2, 10}, {COL_FALL_TIME, 20, 4, 1},
    {COL_STANDBY_LEVEL, 24, 2, 10},
};

size_t record_at(int channel) {
    return 13 + 26 * static_cast<size_t>(channel - 1);
}

uint32_t get(const uint8_t* payload, size_t at, size_t width) {
    uint32_t value = 0;
    for (size_t i = 0; i < width; ++i) {
        value |= static_cast<uint32_t>(payload[at + i]) << (8 * i);
    }
    return value;
}

// The packing rule: the value already scaled and offset, cut toward zero to a signed integer of
// 32 bits (u8 and u16 fields) or 64 bits (u32 fields); out of that range, or NaN, the most
// negative one; the field keeps the low bits.
uint32_t packed_field(double value, size_t width) {
    double limit = width == 4 ? 9223372036854775808.0 : 2147483648.0;
    double whole = std::trunc(value);
    uint64_t bits = 0; // the most negative integer's low 32 bits are zero
    if (whole >= -limit && whole < limit) {
        bits = static_cast<uint64_t>(static_cast<int64_t>(whole));
    }
    uint64_t mask = width == 4 ? 0xFFFFFFFFu : (uint64_t{1} << (8 * width)) - 1;
    return static_cast<uint32_t>(bits & mask);
}

float unpacked_field(uint32_t raw, const Field& field) {
    return field.scale == 10 ? static_cast<float>(raw / 10.0) : static_cast<float>(raw);
}

float unpacked_light(uint32_t raw) {
    return static_cast<float>((4096.0 - raw) * 100.0 / 4096.0);
}

uint32_t packed_light(float percent) {
    return packed_field(4096.0 - (static_cast<double>(percent) * 40.95 + 0.4999), 2);
}

bool same(float a, float b) {
    return bits_of_float(a) == bits_of_float(b);
}

// Every field of a payload packed from `table` follows the packing rule.
void check_packed(const float* table, const uint8_t* payload) {
    for (const Field& f : GLOBALS) {
        double value = static_cast<double>(table[f.position]) * f.scale + 0.4999;
        FUZZ_CHECK(get(payload, f.at, f.width) == packed_field(value, f.width));
    }
    FUZZ_CHECK(get(payload, LIGHT_AT, 2) == packed_light(table[POS_LIGHT_THRESHOLD]));
    uint32_t mask = 0;
    for (int channel = 1; channel <= CHANNEL_COUNT; ++channel) {
        for (const Field& f : CHANNEL) {
            float v = table[channel_position(f.position, channel)];
            double value = static_cast<double>(v) * f.scale + 0.4999;
            FUZZ_CHECK(get(payload, record_at(channel) + f.at, f.width) ==
                       packed_field(value, f.width));
        }
        if (table[channel_position(COL_STANDBY_ENABLED, channel)] == 1.0f) {
            mask |= 1u << (channel - 1);
        }
    }
    FUZZ_CHECK(get(payload, MASK_AT, 4) == mask);
    FUZZ_CHECK(get(payload, CRC_AT, 2) == reference_crc16(payload, CRC_AT));
    FUZZ_CHECK(wire_image_valid(payload, PAYLOAD_BYTES));
}

// A received payload: unpacked field by field, RepeatTimer untouched; packed again, it gives
// the same bytes except where a float cannot hold the value or the threshold's scales differ.
void check_reply(const uint8_t* payload) {
    float table[SETTINGS_COUNT];
    for (float& cell : table) {
        cell = float_of_bits(0x7FC0BEEF);
    }
    wire_image_unpack(payload, table);

    FUZZ_CHECK(bits_of_float(table[POS_REPEAT_TIMER]) == 0x7FC0BEEF);
    for (const Field& f : GLOBALS) {
        FUZZ_CHECK(same(table[f.position], unpacked_field(get(payload, f.at, f.width), f)));
    }
    uint32_t raw_light = get(payload, LIGHT_AT, 2);
    FUZZ_CHECK(same(table[POS_LIGHT_THRESHOLD], unpacked_light(raw_light)));
    uint32_t mask = get(payload, MASK_AT, 4);
    for (int channel = 1; channel <= CHANNEL_COUNT; ++channel) {
        for (const Field& f : CHANNEL) {
            uint32_t raw = get(payload, record_at(channel) + f.at, f.width);
            FUZZ_CHECK(same(table[channel_position(f.position, channel)], unpacked_field(raw, f)));
        }
        float on = (mask >> (channel - 1)) & 1 ? 1.0f : 0.0f;
        FUZZ_CHECK(same(table[channel_position(COL_STANDBY_ENABLED, channel)], on));
    }

    ExactBytes again(new uint8_t[PAYLOAD_BYTES]);
    wire_image_pack(table, again.get());
    check_packed(table, again.get());
    for (const Field& f : GLOBALS) {
        FUZZ_CHECK(get(again.get(), f.at, f.width) == get(payload, f.at, f.width));
    }
    int32_t light_drift =
        static_cast<int32_t>(get(again.get(), LIGHT_AT, 2)) - static_cast<int32_t>(raw_light);
    FUZZ_CHECK(light_drift >= -16 && light_drift <= 1);
    for (int channel = 1; channel <= CHANNEL_COUNT; ++channel) {
        for (const Field& f : CHANNEL) {
            size_t at = record_at(channel) + f.at;
            uint32_t raw = get(payload, at, f.width);
            uint32_t expected = raw;
            if (f.width == 4 && raw > (1u << 24)) {
                // Held as the nearest float; 2^32 itself keeps no low bits.
                expected = static_cast<uint32_t>(static_cast<uint64_t>(static_cast<float>(raw)));
            }
            FUZZ_CHECK(get(again.get(), at, f.width) == expected);
        }
    }
    FUZZ_CHECK(get(again.get(), MASK_AT, 4) == (mask & 0xFFFFFFu));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ExactBytes payload = exact_copy(data, size);
    bool valid = wire_image_valid(payload.get(), size);
    FUZZ_CHECK(valid ==
               (size >= PAYLOAD_BYTES && le16(data + CRC_AT) == reference_crc16(data, CRC_AT)));
    FUZZ_CHECK(!wire_image_valid(nullptr, size));
    if (valid) {
        check_reply(payload.get());
    }

    float table[SETTINGS_COUNT] = {};
    size_t words = size / 4;
    for (size_t i = 0; words != 0 && i < SETTINGS_COUNT; ++i) {
        table[i] = float_of_bits(le32(data + 4 * (i % words)));
    }
    ExactBytes packed(new uint8_t[PAYLOAD_BYTES]);
    wire_image_pack(table, packed.get());
    check_packed(table, packed.get());
    return 0;
}
