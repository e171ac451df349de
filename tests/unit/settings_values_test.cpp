// Settings values as the command-line tool takes them from each source, prints and compares
// them, and the image it writes. Images are laid out byte by byte here, expected values are
// literal.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "settings/settings_hold.h"
#include "settings/settings_values.h"
#include "link/crc16.h"

namespace {

void put(uint8_t* image, size_t at, uint32_t value, size_t width) {
    for (size_t i = 0; i < width; ++i) {
        image[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

constexpr size_t record(int channel) {
    return 13 + 26 * static_cast<size_t>(channel - 1);
}

void seal(uint8_t* image) {
    put(image, 641, link_crc16(image, 641), 2);
}

std::string text(int position, float value) {
    char out[VALUES_TEXT_BYTES];
    values_text(position, value, out);
    return out;
}

} // namespace

TEST(CliValues, TextsAreTheShortestThatReadBackAndFlagsAreExactlyOne) {
    const int level = channel_position(COL_ON_START_LEVEL, 1);
    const int flag = channel_position(COL_STANDBY_ENABLED, 1);
    EXPECT_EQ(text(level, 0.1f), "0.1");
    EXPECT_EQ(text(level, 100.0f), "100");
    EXPECT_EQ(text(POS_LIGHT_THRESHOLD, 30.0048828125f), "30.004883");
    EXPECT_EQ(text(level, 1e10f), "1e+10");
    EXPECT_EQ(text(level, -0.0f), "-0");
    EXPECT_EQ(text(level, std::numeric_limits<float>::quiet_NaN()), "nan");
    EXPECT_EQ(text(flag, 1.0f), "true");
    EXPECT_EQ(text(flag, 2.0f), "false");
}

TEST(CliValues, ControllerValuesComeAsTheWindowShowsAndGathersThem) {
    uint8_t image[WIRE_IMAGE_BYTES] = {};
    put(image, 2, 120, 2);                      // Sensor1Max
    put(image, 8, 2867, 2);                     // light threshold 30 %, returns as 30.0048828125
    put(image, 12, 2, 1);                       // UseLightSensor 2: not a checked box
    put(image, record(3), 2208, 4);             // OnDelay
    put(image, record(3) + 4, 125, 2);          // OnStartLevel 12.5
    put(image, record(24) + 20, 0x01000001, 4); // FallTime 16777217, nearest float 16777216
    put(image, 637, 0x00800001, 4);             // standby on channels 1 and 24
    seal(image);

    SettingsValues raw{};
    values_from_image(image, &raw);
    EXPECT_EQ(raw.table[POS_LIGHT_THRESHOLD], 30.0048828125f);
    EXPECT_EQ(raw.table[POS_USE_LIGHT_SENSOR], 2.0f);

    SettingsValues v{};
    values_from_controller(image, &v);
    EXPECT_EQ(v.table[POS_SENSOR1_MAX], 120.0f);
    EXPECT_EQ(v.table[POS_LIGHT_THRESHOLD], 30.0f);
    EXPECT_EQ(v.table[POS_USE_LIGHT_SENSOR], 0.0f);
    EXPECT_EQ(v.table[channel_position(COL_ON_DELAY, 3)], 2208.0f);
    EXPECT_EQ(v.table[channel_position(COL_ON_START_LEVEL, 3)], 12.5f);
    EXPECT_EQ(v.table[channel_position(COL_FALL_TIME, 24)], 16777216.0f);
    EXPECT_EQ(v.table[channel_position(COL_STANDBY_ENABLED, 1)], 1.0f);
    EXPECT_EQ(v.table[channel_position(COL_STANDBY_ENABLED, 2)], 0.0f);
    EXPECT_EQ(v.table[channel_position(COL_STANDBY_ENABLED, 24)], 1.0f);
    EXPECT_TRUE(v.held[channel_position(COL_STANDBY_ENABLED, 24)]);
    EXPECT_FALSE(v.held[POS_REPEAT_TIMER]);
    // A raw threshold beyond the sensor's full scale is below 0 %, never "-0".
    put(image, 8, 4097, 2);
    seal(image);
    values_from_controller(image, &v);
    EXPECT_EQ(v.table[POS_LIGHT_THRESHOLD], -0.0244140625f);
}

TEST(CliValues, DifferencesAreByWhatIsShownAndOnlyWhereBothHoldAValue) {
    SettingsValues a{};
    SettingsValues b{};
    values_from_defaults(&a);
    values_from_defaults(&b);
    const int level = channel_position(COL_STANDBY_LEVEL, 2);
    const int flag = channel_position(COL_STANDBY_ENABLED, 3);
    const int last_flag = channel_position(COL_STANDBY_ENABLED, 24);
    b.table[level] = -0.0f;
    EXPECT_TRUE(values_differ(&a, &b, level));
    a.table[level] = b.table[level] = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(values_differ(&a, &b, level));
    a.table[flag] = 0.0f;
    b.table[flag] = 2.0f; // both unchecked
    EXPECT_FALSE(values_differ(&a, &b, flag));
    b.table[last_flag] = 1.0f;
    EXPECT_TRUE(values_differ(&a, &b, last_flag));
    b.held[last_flag] = false; // as from a file
    EXPECT_FALSE(values_differ(&a, &b, last_flag));
}

TEST(CliValues, AValueIsHeldWhenItComesBackWithinItsFieldsRounding) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const int delay = channel_position(COL_ON_DELAY, 5);
    const int level = channel_position(COL_ON_START_LEVEL, 2);
    const int flag = channel_position(COL_STANDBY_ENABLED, 9);
    struct Row {
        int position;
        float given;
        float held; // what the controller keeps after packing and unpacking
        bool holds;
    };
    const Row rows[] = {
        {POS_SENSOR1_MAX, 120.0f, 120.0f, true},
        {POS_SENSOR1_MAX, 70000.0f, 4464.0f, false}, // beyond the u16 field
        {POS_OFF_TIMER, -2.0f, 65535.0f, false},
        {POS_OFF_TIMER, -0.4f, 0.0f, true},
        {delay, 2.5f, 2.0f, true}, // exact halves go down
        {delay, 4294967296.0f, 0.0f, false},
        {delay, 4294967040.0f, 4294967040.0f, true},
        {delay, nan, 0.0f, false},
        {level, 12.55f, 12.5f, true},
        {level, -2.0f, 6551.7f, false},
        {POS_LIGHT_THRESHOLD, 30.0f, 30.0048828125f, true},
        {POS_LIGHT_THRESHOLD, 0.0f, 0.0244140625f, true},
        {POS_LIGHT_THRESHOLD, 0.02f, 0.048828125f, true},
        {POS_LIGHT_THRESHOLD, 100.0f, 100.0f, true},
        {POS_LIGHT_THRESHOLD, 101.0f, -1499.0234375f, false},
        {flag, 1.0f, 1.0f, true},
        {flag, 0.5f, 0.0f, false},
        {POS_USE_LIGHT_SENSOR, 2.0f, 2.0f, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(values_field_holds(row.position, row.given, row.held), row.holds)
            << row.position << " " << row.given;
        SettingsValues one{};
        one.held[row.position] = true;
        one.table[row.position] = row.given;
        ValueMismatch found[2] = {};
        const size_t n = values_unholdable(&one, found, 2);
        EXPECT_EQ(n, row.holds ? 0u : 1u) << row.position << " " << row.given;
        if (n == 1) {
            EXPECT_EQ(found[0].held, row.held) << row.position << " " << row.given;
        }
    }
}

// What a write sends: the controller's bytes, with only the values given and not already held
// there packed anew. A threshold of 30 % (2867) returns as 30.0048828125; packed again it would
// be 2866, one step lower with every write.
TEST(CliValues, AWriteKeepsTheControllersBytesWhereverNothingNewIsGiven) {
    uint8_t current[WIRE_IMAGE_BYTES] = {};
    put(current, 8, 2867, 2);             // light threshold 30 %
    put(current, record(1), 1, 4);        // channel 1 OnDelay
    put(current, record(7) + 6, 1000, 2); // channel 7 OnEndLevel 100.0
    put(current, 637, 0x00800001, 4);     // standby on channels 1 and 24
    seal(current);
    const struct {
        int position;
        float value;
        size_t at, width; // the field expected to change (width 0: none)
        uint32_t expected;
    } rows[] = {
        {channel_position(COL_ON_DELAY, 1), 5.0f, record(1), 4, 5},
        {channel_position(COL_ON_DELAY, 1), 1.4f, 0, 0, 0},         // packs to 1: held
        {channel_position(COL_ON_DELAY, 1), 0.5f, record(1), 4, 0}, // within rounding, packs to 0
        {POS_LIGHT_THRESHOLD, 30.0f, 0, 0, 0},                      // held: 2867 stays
        {POS_LIGHT_THRESHOLD, 30.02f, 0, 0, 0},                     // within the scales' difference
        {POS_LIGHT_THRESHOLD, 50.0f, 8, 2, 2048},
        {channel_position(COL_ON_END_LEVEL, 7), 0.0f, record(7) + 6, 2, 0},
        {channel_position(COL_STANDBY_ENABLED, 24), 0.0f, 637, 4, 0x00000001},
        {channel_position(COL_STANDBY_ENABLED, 2), 1.0f, 637, 4, 0x00800003},
    };
    for (const auto& row : rows) {
        SettingsValues given{};
        given.table[row.position] = row.value;
        given.held[row.position] = true;
        uint8_t out[WIRE_IMAGE_BYTES];
        values_image_to_write(current, &given, out);
        uint8_t expected[WIRE_IMAGE_BYTES];
        memcpy(expected, current, sizeof expected);
        put(expected, row.at, row.expected, row.width);
        seal(expected);
        EXPECT_EQ(memcmp(out, expected, WIRE_IMAGE_BYTES), 0) << row.position << " " << row.value;
    }
}

// The range named when a value is refused: both ends are held, and a unit beyond either is not
// (1, a tenth, 256 ms where floats are that far apart; a whole percent for the threshold, whose
// two scales let a value a little below its lowest end still come back within the rounding).
// The threshold's field would carry -1 % too, as a raw value past night that no reading reaches.
// The command-line cases show each kind of range with its unit.
TEST(CliValues, TheRangeOfAFieldIsWhatItHolds) {
    const struct {
        int position;
        float lowest, highest, unit;
    } rows[] = {
        {POS_OFF_TIMER, 0.0f, 65535.0f, 1.0f},
        {POS_LIGHT_THRESHOLD, 0.0f, 100.0f, 1.0f}, // night to day; -1 % would still travel
        {channel_position(COL_ON_DELAY, 1), 0.0f, 4294967040.0f, 256.0f}, // below 2^32
        {channel_position(COL_STANDBY_LEVEL, 24), 0.0f, 6553.5f, 0.1f},
        {channel_position(COL_STANDBY_ENABLED, 5), 0.0f, 1.0f, 1.0f},
        {POS_USE_LIGHT_SENSOR, 0.0f, 1.0f, 1.0f},
    };
    for (const auto& row : rows) {
        const ValueRange range = values_range(row.position);
        EXPECT_EQ(range.lowest, row.lowest) << row.position;
        EXPECT_EQ(range.highest, row.highest) << row.position;
        for (const float value :
             {row.lowest, row.highest, row.lowest - row.unit, row.highest + row.unit}) {
            SettingsValues one{};
            one.held[row.position] = true;
            one.table[row.position] = value;
            ValueMismatch found[1];
            const size_t beyond = value < row.lowest || value > row.highest;
            EXPECT_EQ(values_unholdable(&one, found, 1), beyond) << row.position << " " << value;
        }
    }
}
