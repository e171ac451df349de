// The factory-defaults file of the release archive, read back with this test's own decoding and
// compared with the controller emulator's factory table, which is written out by hand there.
#include "packaging/factory_defaults.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "emulator/emu_settings.h"
#include "settings/settings_file_format.h"

namespace {

std::vector<uint8_t> generated_file() {
    std::vector<uint8_t> disk(4096);
    disk.resize(factory_defaults_file(disk.data(), disk.size()));
    return disk;
}

// CR LF back to LF; a LF without its CR is counted as an error.
std::vector<uint8_t> decoded(const std::vector<uint8_t>& disk, int* bare_line_feeds) {
    std::vector<uint8_t> out;
    *bare_line_feeds = 0;
    for (size_t i = 0; i < disk.size(); ++i) {
        if (disk[i] == 0x0D && i + 1 < disk.size() && disk[i + 1] == 0x0A) {
            continue;
        }
        if (disk[i] == 0x0A && (i == 0 || disk[i - 1] != 0x0D)) {
            ++*bare_line_feeds;
        }
        out.push_back(disk[i]);
    }
    return out;
}

float float_at(const std::vector<uint8_t>& content, size_t offset) {
    uint32_t bits = content[offset] | content[offset + 1] << 8 | content[offset + 2] << 16 |
                    static_cast<uint32_t>(content[offset + 3]) << 24;
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace

TEST(FactoryDefaultsFile, LaidOutAsTheWindowSavesAndLoadsIt) {
    const std::vector<uint8_t> disk = generated_file();
    int bare = 0;
    const std::vector<uint8_t> content = decoded(disk, &bare);
    ASSERT_EQ(content.size(), 1050u);
    EXPECT_EQ(bare, 0);
    const char banner[] = "\r\nLumivo Lighting Works Ltd.\r\nNizhny Novgorod\r\nlumivo.example\r\n";
    EXPECT_EQ(std::memcmp(content.data(), banner, 63), 0);
    EXPECT_EQ(content[63], 0);
    uint8_t image[SETTINGS_FILE_IMAGE_BYTES];
    EXPECT_EQ(settings_file_check(content.data(), content.size(), image), 0);
    // A few values as literal bytes: LightThreshold 50.0, channel 1's OnDelay 1.0, channel 24's
    // StandbyLevel 0.0 (the image's last float).
    const uint8_t fifty[4] = {0x00, 0x00, 0x48, 0x42};
    const uint8_t one[4] = {0x00, 0x00, 0x80, 0x3F};
    const uint8_t zero[4] = {0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(&content[64 + 16], fifty, 4), 0);
    EXPECT_EQ(std::memcmp(&content[64 + 28], one, 4), 0);
    EXPECT_EQ(std::memcmp(&content[64 + 980], zero, 4), 0);
}

TEST(FactoryDefaultsFile, EveryValueIsTheControllersFactorySetting) {
    int bare = 0;
    const std::vector<uint8_t> content = decoded(generated_file(), &bare);
    ASSERT_EQ(content.size(), 1050u);
    float factory[SETTINGS_COUNT];
    emu_settings_factory_table(factory);
    // The file's order: four sensor limits, threshold, flag, off timer, then per channel eight
    // times and levels, the standby level and the standby flag (missing for the last channel).
    std::vector<int> order = {POS_SENSOR1_MIN, POS_SENSOR2_MIN,     POS_SENSOR1_MAX,
                              POS_SENSOR2_MAX, POS_LIGHT_THRESHOLD, POS_USE_LIGHT_SENSOR,
                              POS_OFF_TIMER};
    const int record[10] = {COL_ON_DELAY,       COL_ON_START_LEVEL, COL_ON_END_LEVEL,
                            COL_RISE_TIME,      COL_OFF_DELAY,      COL_OFF_START_LEVEL,
                            COL_OFF_END_LEVEL,  COL_FALL_TIME,      COL_STANDBY_LEVEL,
                            COL_STANDBY_ENABLED};
    for (int channel = 1; channel <= 24; ++channel) {
        for (int k = 0; k < (channel == 24 ? 9 : 10); ++k) {
            order.push_back(GLOBAL_COUNT + 24 * record[k] + channel - 1);
        }
    }
    ASSERT_EQ(order.size(), 246u);
    for (size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(float_at(content, 64 + 4 * i), factory[order[i]]) << "float " << i;
    }
}
