#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "link/crc16.h"
#include "link/wire_image.h"

namespace {

struct Image {
    float table[SETTINGS_COUNT] = {};
    uint8_t payload[WIRE_IMAGE_BYTES] = {};

    void pack() { wire_image_pack(table, payload); }
    uint32_t field(size_t offset, size_t width) const {
        uint32_t value = 0;
        for (size_t i = 0; i < width; ++i) {
            value |= static_cast<uint32_t>(payload[offset + i]) << (8 * i);
        }
        return value;
    }
};

constexpr size_t record_at(int channel) {
    return 13 + 26 * static_cast<size_t>(channel - 1);
}

float round_trip(int position, float value) {
    Image image;
    image.table[position] = value;
    image.pack();
    float back[SETTINGS_COUNT] = {};
    wire_image_unpack(image.payload, back);
    return back[position];
}

} // namespace

TEST(WireImagePack, ZeroTableIsZeroButTheThresholdAndCrc) {
    Image image;
    image.pack();
    for (size_t i = 0; i < WIRE_IMAGE_CRC_AT; ++i) {
        if (i == 8 || i == 9) {
            continue;
        }
        ASSERT_EQ(image.payload[i], 0) << "byte " << i;
    }
    EXPECT_EQ(image.payload[8], 0xFF); // 0 % is the raw value 4095
    EXPECT_EQ(image.payload[9], 0x0F);
    EXPECT_EQ(image.field(WIRE_IMAGE_CRC_AT, 2), link_crc16(image.payload, 641));
    EXPECT_TRUE(wire_image_valid(image.payload, WIRE_IMAGE_BYTES));
}

TEST(WireImagePack, FieldsStandWhereTheControllerReadsThem) {
    Image image;
    image.table[POS_SENSOR1_MIN] = 1;
    image.table[POS_SENSOR1_MAX] = 2;
    image.table[POS_SENSOR2_MIN] = 3;
    image.table[POS_SENSOR2_MAX] = 4;
    image.table[POS_OFF_TIMER] = 5;
    image.table[POS_USE_LIGHT_SENSOR] = 1.0f;
    image.table[POS_REPEAT_TIMER] = 777;
    const int channel = 24;
    for (int column = 0; column < CHANNEL_COLUMNS; ++column) {
        image.table[channel_position(column, channel)] = 100.0f + column;
    }
    image.pack();
    EXPECT_EQ(image.field(0, 2), 1u);
    EXPECT_EQ(image.field(2, 2), 2u);
    EXPECT_EQ(image.field(4, 2), 3u);
    EXPECT_EQ(image.field(6, 2), 4u);
    EXPECT_EQ(image.field(10, 2), 5u);
    EXPECT_EQ(image.payload[12], 1);
    size_t r = record_at(channel);
    EXPECT_EQ(r, 611u);
    EXPECT_EQ(image.field(r + 0, 4), 100u);
    EXPECT_EQ(image.field(r + 4, 2), 1010u);
    EXPECT_EQ(image.field(r + 6, 2), 1020u);
    EXPECT_EQ(image.field(r + 8, 4), 103u);
    EXPECT_EQ(image.field(r + 12, 4), 104u);
    EXPECT_EQ(image.field(r + 16, 2), 1050u);
    EXPECT_EQ(image.field(r + 18, 2), 1060u);
    EXPECT_EQ(image.field(r + 20, 4), 107u);
    EXPECT_EQ(image.field(r + 24, 2), 1090u);
    EXPECT_EQ(image.field(637, 4), 0u); // 108 is no exact 1.0
    for (size_t i = 13; i < r; ++i) {
        ASSERT_EQ(image.payload[i], 0) << "byte " << i; // other channels untouched
    }
}

TEST(WireImagePack, RoundingHalvesGoDown) {
    Image image;
    const int p1 = channel_position(COL_ON_DELAY, 1);
    const int p2 = channel_position(COL_ON_DELAY, 2);
    const int p3 = channel_position(COL_ON_START_LEVEL, 3);
    const int p4 = channel_position(COL_ON_START_LEVEL, 4);
    const int p5 = channel_position(COL_STANDBY_LEVEL, 5);
    image.table[p1] = 2.5f;
    image.table[p2] = 2.6f;
    image.table[p3] = 12.5f;
    image.table[p4] = 0.05f;
    image.table[p5] = 12.55f;
    image.pack();
    EXPECT_EQ(image.field(record_at(1), 4), 2u);
    EXPECT_EQ(image.field(record_at(2), 4), 3u);
    EXPECT_EQ(image.field(record_at(3) + 4, 2), 125u);
    EXPECT_EQ(image.field(record_at(4) + 4, 2), 0u);
    EXPECT_EQ(image.field(record_at(5) + 24, 2), 125u);
}

TEST(WireImagePack, NegativeValuesAreTwosComplement) {
    Image image;
    image.table[POS_SENSOR1_MIN] = -2.0f;
    image.table[channel_position(COL_RISE_TIME, 1)] = -2.0f;
    image.table[POS_USE_LIGHT_SENSOR] = -2.0f;
    image.table[POS_SENSOR1_MAX] = -1.0f; // -0.5001 cuts to 0
    image.pack();
    EXPECT_EQ(image.field(0, 2), 65535u);
    EXPECT_EQ(image.field(record_at(1) + 8, 4), 0xFFFFFFFFu);
    EXPECT_EQ(image.payload[12], 0xFF);
    EXPECT_EQ(image.field(2, 2), 0u);
}

TEST(WireImagePack, NanAndHugeValuesGiveZeroOrLowBits) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    Image image;
    image.table[POS_SENSOR1_MIN] = nan;
    image.table[POS_SENSOR1_MAX] = 3e9f;     // beyond signed 32 bits: 0
    image.table[POS_SENSOR2_MIN] = 65537.0f; // fits 32 bits: low 16 bits, 1
    image.table[POS_LIGHT_THRESHOLD] = -inf;
    image.table[channel_position(COL_ON_DELAY, 1)] = nan;
    image.table[channel_position(COL_ON_DELAY, 2)] = 3e9f;  // fits 64 bits: low 32 bits
    image.table[channel_position(COL_ON_DELAY, 3)] = 1e19f; // beyond signed 64 bits: 0
    image.table[channel_position(COL_ON_DELAY, 4)] = 4294967296.0f + 4096.0f;
    image.table[channel_position(COL_ON_START_LEVEL, 5)] = inf;
    image.pack();
    EXPECT_EQ(image.field(0, 2), 0u);
    EXPECT_EQ(image.field(2, 2), 0u);
    EXPECT_EQ(image.field(4, 2), 1u);
    EXPECT_EQ(image.field(8, 2), 0u);
    EXPECT_EQ(image.field(record_at(1), 4), 0u);
    EXPECT_EQ(image.field(record_at(2), 4), 3000000000u);
    EXPECT_EQ(image.field(record_at(3), 4), 0u);
    EXPECT_EQ(image.field(record_at(4), 4), 4096u);
    EXPECT_EQ(image.field(record_at(5) + 4, 2), 0u);
}

TEST(WireImagePack, StandbyMaskTakesOnlyExactOne) {
    Image image;
    image.table[channel_position(COL_STANDBY_ENABLED, 1)] = 1.0f;
    image.table[channel_position(COL_STANDBY_ENABLED, 2)] = 0.5f;
    image.table[channel_position(COL_STANDBY_ENABLED, 3)] = std::nanf("");
    image.table[channel_position(COL_STANDBY_ENABLED, 4)] = 2.0f;
    image.table[channel_position(COL_STANDBY_ENABLED, 24)] = 1.0f;
    image.pack();
    EXPECT_EQ(image.payload[637], 0x01);
    EXPECT_EQ(image.payload[638], 0x00);
    EXPECT_EQ(image.payload[639], 0x80);
    EXPECT_EQ(image.payload[640], 0x00);
}

TEST(WireImageLight, ThresholdRawValuesBothWays) {
    Image image;
    const float percents[] = {0.0f, 30.0f, 50.0f, 100.0f, 110.0f};
    const uint32_t raws[] = {4095, 2867, 2048, 0, 65536 - 408}; // -408.9999 cuts to -408
    for (size_t i = 0; i < 5; ++i) {
        image.table[POS_LIGHT_THRESHOLD] = percents[i];
        image.pack();
        EXPECT_EQ(image.field(8, 2), raws[i]) << percents[i] << " %";
    }
    EXPECT_EQ(round_trip(POS_LIGHT_THRESHOLD, 30.0f), 30.0048828125f);
    EXPECT_EQ(round_trip(POS_LIGHT_THRESHOLD, 50.0f), 50.0f);
    EXPECT_EQ(round_trip(POS_LIGHT_THRESHOLD, 100.0f), 100.0f);
    EXPECT_EQ(round_trip(POS_LIGHT_THRESHOLD, 0.0f), 0.0244140625f);

    uint8_t payload[WIRE_IMAGE_BYTES] = {};
    payload[8] = 0x00; // raw 5120 (above dark) reads as a negative percentage
    payload[9] = 0x14;
    float table[SETTINGS_COUNT] = {};
    wire_image_unpack(payload, table);
    EXPECT_EQ(table[POS_LIGHT_THRESHOLD], -25.0f);
}

TEST(WireImageUnpack, ValuesReadBackAsWritten) {
    EXPECT_EQ(round_trip(channel_position(COL_ON_START_LEVEL, 7), 12.5f), 12.5f);
    EXPECT_EQ(round_trip(channel_position(COL_FALL_TIME, 9), 60000.0f), 60000.0f);
    EXPECT_EQ(round_trip(POS_USE_LIGHT_SENSOR, 1.0f), 1.0f);
    EXPECT_EQ(round_trip(channel_position(COL_STANDBY_ENABLED, 24), 1.0f), 1.0f);
    EXPECT_EQ(round_trip(POS_SENSOR2_MAX, -2.0f), 65535.0f); // unsigned on the way back
}

TEST(WireImageUnpack, MaskBitsAndUnsignedFields) {
    uint8_t payload[WIRE_IMAGE_BYTES] = {};
    payload[637] = 0x02; // channel 2
    payload[640] = 0xFF; // bits 24-31 belong to no channel
    size_t r = record_at(3);
    payload[r + 0] = payload[r + 1] = payload[r + 2] = payload[r + 3] = 0xFF; // u32 max
    payload[r + 4] = 0xFF;
    payload[r + 5] = 0xFF; // 65535 tenths
    float table[SETTINGS_COUNT];
    std::fill(table, table + SETTINGS_COUNT, 9.0f);
    table[POS_REPEAT_TIMER] = 42.0f;
    wire_image_unpack(payload, table);
    EXPECT_EQ(table[POS_REPEAT_TIMER], 42.0f); // not carried, kept
    for (int channel = 1; channel <= CHANNEL_COUNT; ++channel) {
        EXPECT_EQ(table[channel_position(COL_STANDBY_ENABLED, channel)],
                  channel == 2 ? 1.0f : 0.0f);
    }
    EXPECT_EQ(table[channel_position(COL_ON_DELAY, 3)], 4294967296.0f);
    EXPECT_EQ(table[channel_position(COL_ON_START_LEVEL, 3)], 6553.5f);
    EXPECT_EQ(table[POS_LIGHT_THRESHOLD], 100.0f);
}

TEST(WireImageValid, NeedsTheWholePayloadAndItsCrc) {
    Image image;
    image.table[POS_OFF_TIMER] = 30;
    image.pack();
    EXPECT_TRUE(wire_image_valid(image.payload, WIRE_IMAGE_BYTES));
    EXPECT_TRUE(wire_image_valid(image.payload, 5000));
    EXPECT_FALSE(wire_image_valid(image.payload, WIRE_IMAGE_BYTES - 1));
    EXPECT_FALSE(wire_image_valid(image.payload, 0));
    image.payload[100] ^= 0x01;
    EXPECT_FALSE(wire_image_valid(image.payload, WIRE_IMAGE_BYTES));
    image.payload[100] ^= 0x01;
    image.payload[642] ^= 0x80;
    EXPECT_FALSE(wire_image_valid(image.payload, WIRE_IMAGE_BYTES));
}
