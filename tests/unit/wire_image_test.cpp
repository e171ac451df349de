#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "link/crc16.h"
#include "link/wire_image.h"

namespace {

constexpr size_t record_at(int channel) {
    return 13 + 26 * static_cast<size_t>(channel - 1);
}

uint32_t field(const uint8_t* payload, size_t offset, size_t width) {
    uint32_t value = 0;
    for (size_t i = 0; i < width; ++i) {
        value |= static_cast<uint32_t>(payload[offset + i]) << (8 * i);
    }
    return value;
}

// Packs a table holding `value` at `position` (zero elsewhere) and reads the field back.
uint32_t packed(int position, float value, size_t offset, size_t width) {
    float table[SETTINGS_COUNT] = {};
    uint8_t payload[WIRE_IMAGE_BYTES];
    table[position] = value;
    wire_image_pack(table, payload);
    return field(payload, offset, width);
}

float round_trip(int position, float value) {
    float table[SETTINGS_COUNT] = {};
    uint8_t payload[WIRE_IMAGE_BYTES];
    table[position] = value;
    wire_image_pack(table, payload);
    wire_image_unpack(payload, table);
    return table[position];
}

const float NaN = std::numeric_limits<float>::quiet_NaN();
const float Inf = std::numeric_limits<float>::infinity();

} // namespace

TEST(WireImagePack, ZeroTableIsZeroButTheThresholdAndCrc) {
    float table[SETTINGS_COUNT] = {};
    uint8_t payload[WIRE_IMAGE_BYTES];
    wire_image_pack(table, payload);
    for (size_t i = 0; i < WIRE_IMAGE_CRC_AT; ++i) {
        uint8_t expected = i == 8 ? 0xFF : i == 9 ? 0x0F : 0; // 0 % is the raw value 4095
        ASSERT_EQ(payload[i], expected) << "byte " << i;
    }
    EXPECT_EQ(field(payload, 641, 2), link_crc16(payload, 641));
}

TEST(WireImagePack, FieldsStandWhereTheControllerReadsThem) {
    struct Case {
        int position;
        size_t offset, width;
        uint32_t expected; // for the value 100 + position
    };
    const size_t r = record_at(24);
    const Case cases[] = {
        {POS_SENSOR1_MIN, 0, 2, 100},
        {POS_SENSOR1_MAX, 2, 2, 101},
        {POS_SENSOR2_MIN, 4, 2, 102},
        {POS_SENSOR2_MAX, 6, 2, 103},
        {POS_OFF_TIMER, 10, 2, 106},
        {POS_USE_LIGHT_SENSOR, 12, 1, 105},
        {channel_position(COL_ON_DELAY, 24), r, 4, 100 + 8 + 23},
        {channel_position(COL_ON_START_LEVEL, 24), r + 4, 2, 10 * (100 + 32 + 23)},
        {channel_position(COL_ON_END_LEVEL, 24), r + 6, 2, 10 * (100 + 56 + 23)},
        {channel_position(COL_RISE_TIME, 24), r + 8, 4, 100 + 80 + 23},
        {channel_position(COL_OFF_DELAY, 24), r + 12, 4, 100 + 104 + 23},
        {channel_position(COL_OFF_START_LEVEL, 24), r + 16, 2, 10 * (100 + 128 + 23)},
        {channel_position(COL_OFF_END_LEVEL, 24), r + 18, 2, 10 * (100 + 152 + 23)},
        {channel_position(COL_FALL_TIME, 24), r + 20, 4, 100 + 176 + 23},
        {channel_position(COL_STANDBY_LEVEL, 24), r + 24, 2, 10 * (100 + 224 + 23)},
    };
    float table[SETTINGS_COUNT];
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        table[p] = 100.0f + p;
    }
    uint8_t payload[WIRE_IMAGE_BYTES];
    wire_image_pack(table, payload);
    for (const Case& c : cases) {
        EXPECT_EQ(field(payload, c.offset, c.width), c.expected) << "position " << c.position;
    }
    EXPECT_EQ(record_at(24) + 26, 637u);
    EXPECT_EQ(field(payload, 637, 4), 0u); // no StandbyEnabled is exactly 1.0
}

TEST(WireImagePack, IntegerRule) {
    const int on_delay = channel_position(COL_ON_DELAY, 1);    // u32, record offset 0
    const int level = channel_position(COL_ON_START_LEVEL, 1); // u16 tenths, offset 4
    const size_t r = record_at(1);
    // Exact halves go down, 0.5001 and more up; tenths likewise.
    EXPECT_EQ(packed(on_delay, 2.5f, r, 4), 2u);
    EXPECT_EQ(packed(on_delay, 2.6f, r, 4), 3u);
    EXPECT_EQ(packed(level, 12.5f, r + 4, 2), 125u);
    EXPECT_EQ(packed(level, 12.55f, r + 4, 2), 125u);
    EXPECT_EQ(packed(level, 0.05f, r + 4, 2), 0u);
    // Negative values in two's complement, cut toward zero.
    EXPECT_EQ(packed(POS_SENSOR1_MIN, -2.0f, 0, 2), 65535u);
    EXPECT_EQ(packed(POS_SENSOR1_MIN, -1.0f, 0, 2), 0u); // -0.5001
    EXPECT_EQ(packed(POS_USE_LIGHT_SENSOR, -2.0f, 12, 1), 0xFFu);
    EXPECT_EQ(packed(on_delay, -2.0f, r, 4), 0xFFFFFFFFu);
    // Low bits of a signed 32-bit integer for u16 fields, of a signed 64-bit one for u32.
    EXPECT_EQ(packed(POS_SENSOR1_MIN, 65537.0f, 0, 2), 1u);
    EXPECT_EQ(packed(POS_SENSOR1_MIN, 3e9f, 0, 2), 0u);
    EXPECT_EQ(packed(on_delay, 3e9f, r, 4), 3000000000u);
    EXPECT_EQ(packed(on_delay, 4294967296.0f + 4096.0f, r, 4), 4096u);
    EXPECT_EQ(packed(on_delay, 1e19f, r, 4), 0u);
    // NaN and infinities: the field gets 0.
    EXPECT_EQ(packed(POS_SENSOR1_MIN, NaN, 0, 2), 0u);
    EXPECT_EQ(packed(on_delay, NaN, r, 4), 0u);
    EXPECT_EQ(packed(level, Inf, r + 4, 2), 0u);
    EXPECT_EQ(packed(POS_LIGHT_THRESHOLD, -Inf, 8, 2), 0u);
    EXPECT_EQ(packed(POS_USE_LIGHT_SENSOR, 1.0f, 12, 1), 1u);
}

TEST(WireImagePack, StandbyMaskTakesOnlyExactOne) {
    float table[SETTINGS_COUNT] = {};
    table[channel_position(COL_STANDBY_ENABLED, 1)] = 1.0f;
    table[channel_position(COL_STANDBY_ENABLED, 2)] = 0.5f;
    table[channel_position(COL_STANDBY_ENABLED, 3)] = NaN;
    table[channel_position(COL_STANDBY_ENABLED, 4)] = 2.0f;
    table[channel_position(COL_STANDBY_ENABLED, 24)] = 1.0f;
    uint8_t payload[WIRE_IMAGE_BYTES];
    wire_image_pack(table, payload);
    EXPECT_EQ(field(payload, 637, 4), 0x00800001u); // bytes 01 00 80 00
}

TEST(WireImageLight, ThresholdBothWays) {
    EXPECT_EQ(packed(POS_LIGHT_THRESHOLD, 0.0f, 8, 2), 4095u);
    EXPECT_EQ(packed(POS_LIGHT_THRESHOLD, 30.0f, 8, 2), 2867u);
    EXPECT_EQ(packed(POS_LIGHT_THRESHOLD, 50.0f, 8, 2), 2048u);
    EXPECT_EQ(packed(POS_LIGHT_THRESHOLD, 100.0f, 8, 2), 0u);
    EXPECT_EQ(packed(POS_LIGHT_THRESHOLD, 110.0f, 8, 2), 65536u - 408); // -408.9999
    EXPECT_EQ(round_trip(POS_LIGHT_THRESHOLD, 30.0f), 30.0048828125f);
    EXPECT_EQ(round_trip(POS_LIGHT_THRESHOLD, 50.0f), 50.0f);
    EXPECT_EQ(round_trip(POS_LIGHT_THRESHOLD, 100.0f), 100.0f);
    EXPECT_EQ(round_trip(POS_LIGHT_THRESHOLD, 0.0f), 0.0244140625f);
}

TEST(WireImageUnpack, FieldsMaskAndRepeatTimer) {
    EXPECT_EQ(round_trip(channel_position(COL_ON_START_LEVEL, 7), 12.5f), 12.5f);
    EXPECT_EQ(round_trip(channel_position(COL_FALL_TIME, 9), 60000.0f), 60000.0f);
    EXPECT_EQ(round_trip(POS_SENSOR2_MAX, -2.0f), 65535.0f); // unsigned on the way back

    uint8_t payload[WIRE_IMAGE_BYTES] = {};
    payload[8] = 0x00;
    payload[9] = 0x14;   // raw light 5120, above dark
    payload[637] = 0x02; // channel 2
    payload[640] = 0xFF; // bits 24-31 belong to no channel
    const size_t r = record_at(3);
    for (size_t i = 0; i < 6; ++i) {
        payload[r + i] = 0xFF; // OnDelay u32 max, OnStartLevel 65535 tenths
    }
    float table[SETTINGS_COUNT];
    std::fill(table, table + SETTINGS_COUNT, 9.0f);
    wire_image_unpack(payload, table);
    EXPECT_EQ(table[POS_REPEAT_TIMER], 9.0f); // not carried, kept
    EXPECT_EQ(table[POS_LIGHT_THRESHOLD], -25.0f);
    for (int channel = 1; channel <= CHANNEL_COUNT; ++channel) {
        EXPECT_EQ(table[channel_position(COL_STANDBY_ENABLED, channel)],
                  channel == 2 ? 1.0f : 0.0f);
    }
    EXPECT_EQ(table[channel_position(COL_ON_DELAY, 3)], 4294967296.0f);
    EXPECT_EQ(table[channel_position(COL_ON_START_LEVEL, 3)], 6553.5f);
}

TEST(WireImageValid, NeedsTheWholePayloadAndItsCrc) {
    float table[SETTINGS_COUNT] = {};
    table[POS_OFF_TIMER] = 30;
    uint8_t payload[WIRE_IMAGE_BYTES];
    wire_image_pack(table, payload);
    EXPECT_TRUE(wire_image_valid(payload, WIRE_IMAGE_BYTES));
    EXPECT_FALSE(wire_image_valid(payload, WIRE_IMAGE_BYTES - 1));
    EXPECT_FALSE(wire_image_valid(payload, 0));
    payload[100] ^= 0x01;
    EXPECT_FALSE(wire_image_valid(payload, WIRE_IMAGE_BYTES));
    payload[100] ^= 0x01;
    payload[642] ^= 0x80;
    EXPECT_FALSE(wire_image_valid(payload, WIRE_IMAGE_BYTES));
}
