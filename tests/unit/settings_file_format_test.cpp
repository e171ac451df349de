#include "settings/settings_file_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "link/crc16.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A table whose every cell is different and recognisable.
void numbered_table(float table[SETTINGS_COUNT]) {
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        table[p] = 1000.0f + static_cast<float>(p);
    }
}

float image_float(const uint8_t* image, size_t index) {
    uint32_t bits = image[4 * index] | image[4 * index + 1] << 8 | image[4 * index + 2] << 16 |
                    static_cast<uint32_t>(image[4 * index + 3]) << 24;
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

Bytes file_of(const float table[SETTINGS_COUNT]) {
    uint8_t image[SETTINGS_FILE_IMAGE_BYTES];
    uint8_t content[SETTINGS_FILE_BYTES];
    settings_image_pack(table, image);
    settings_file_content(image, content);
    Bytes disk(2 * SETTINGS_FILE_BYTES);
    size_t length = settings_text_encode(content, SETTINGS_FILE_BYTES, disk.data(), disk.size());
    EXPECT_NE(length, SETTINGS_TEXT_FAILED);
    disk.resize(length);
    return disk;
}

// Decodes and checks file bytes; fills `table` on success.
int load_into(const Bytes& disk, float table[SETTINGS_COUNT]) {
    Bytes decoded(SETTINGS_FILE_BYTES + 16);
    size_t n = settings_text_decode(disk.data(), disk.size(), decoded.data(), decoded.size());
    uint8_t image[SETTINGS_FILE_IMAGE_BYTES];
    int result = settings_file_check(decoded.data(), n, image);
    if (result == 0) {
        settings_image_unpack(image, table);
    }
    return result;
}

// ---- image ------------------------------------------------------------------------------

TEST(SettingsImage, LayoutOfTheFloats) {
    float table[SETTINGS_COUNT];
    numbered_table(table);
    uint8_t image[SETTINGS_FILE_IMAGE_BYTES];
    settings_image_pack(table, image);
    const int globals[7] = {0, 2, 1, 3, 4, 5, 6}; // sensors minimum first, then maximum
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(image_float(image, i), table[globals[i]]) << i;
    }
    EXPECT_EQ(image_float(image, 7), table[channel_position(COL_ON_DELAY, 1)]);
    EXPECT_EQ(image_float(image, 14), table[channel_position(COL_FALL_TIME, 1)]);
    EXPECT_EQ(image_float(image, 15), table[channel_position(COL_STANDBY_LEVEL, 1)]);
    EXPECT_EQ(image_float(image, 16), table[channel_position(COL_STANDBY_ENABLED, 1)]);
    EXPECT_EQ(image_float(image, 7 + 10 * 5 + 6), table[channel_position(COL_OFF_END_LEVEL, 6)]);
    EXPECT_EQ(image_float(image, 245), table[channel_position(COL_STANDBY_LEVEL, 24)]);

    std::set<int> stored(SettingsImageOrder.begin(), SettingsImageOrder.end());
    EXPECT_EQ(stored.size(), 246u);
    EXPECT_EQ(stored.count(POS_REPEAT_TIMER), 0u);
    EXPECT_EQ(stored.count(channel_position(COL_STANDBY_ENABLED, 24)), 0u);
}

TEST(SettingsImage, FloatsAreLittleEndianBitCopies) {
    float table[SETTINGS_COUNT] = {};
    table[POS_SENSOR1_MIN] = 8.625f;
    table[POS_SENSOR2_MIN] = -0.0f;
    table[POS_SENSOR1_MAX] = NAN;
    uint8_t image[SETTINGS_FILE_IMAGE_BYTES];
    settings_image_pack(table, image);
    EXPECT_EQ(Bytes(image, image + 4), (Bytes{0x00, 0x00, 0x0A, 0x41}));
    EXPECT_EQ(Bytes(image + 4, image + 8), (Bytes{0x00, 0x00, 0x00, 0x80}));
    float back[SETTINGS_COUNT] = {};
    settings_image_unpack(image, back);
    EXPECT_TRUE(std::signbit(back[POS_SENSOR2_MIN]));
    EXPECT_TRUE(std::isnan(back[POS_SENSOR1_MAX]));
}

TEST(SettingsImage, UnpackLeavesTheCellsTheImageLacks) {
    float table[SETTINGS_COUNT];
    numbered_table(table);
    uint8_t image[SETTINGS_FILE_IMAGE_BYTES];
    settings_image_pack(table, image);
    float other[SETTINGS_COUNT];
    for (float& cell : other) {
        cell = -1.0f;
    }
    settings_image_unpack(image, other);
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        bool absent = p == POS_REPEAT_TIMER || p == channel_position(COL_STANDBY_ENABLED, 24);
        EXPECT_EQ(other[p], absent ? -1.0f : table[p]) << p;
    }
}

// ---- content ----------------------------------------------------------------------------

TEST(SettingsFile, ContentLayout) {
    uint8_t image[SETTINGS_FILE_IMAGE_BYTES];
    for (size_t i = 0; i < sizeof image; ++i) {
        image[i] = static_cast<uint8_t>(i * 7);
    }
    uint8_t content[SETTINGS_FILE_BYTES];
    settings_file_content(image, content);
    std::string banner(reinterpret_cast<const char*>(content), SETTINGS_BANNER_BYTES);
    ASSERT_EQ(banner.substr(0, 2), "\r\n");
    size_t first = banner.find("\r\n", 2);
    size_t second = banner.find("\r\n", first + 2);
    size_t third = banner.find("\r\n", second + 2);
    EXPECT_EQ(first - 2, 26u);
    EXPECT_EQ(second - first - 2, 15u);
    EXPECT_EQ(third - second - 2, 14u);
    EXPECT_EQ(third + 2, SETTINGS_BANNER_BYTES);
    EXPECT_EQ(banner.find('\0'), std::string::npos);
    EXPECT_EQ(banner.find('\x1A'), std::string::npos);
    EXPECT_EQ(content[63], 0);
    EXPECT_EQ(std::memcmp(content + 64, image, sizeof image), 0);
    uint16_t crc = link_crc16(content, 1048);
    EXPECT_EQ(content[1048], crc & 0xFF);
    EXPECT_EQ(content[1049], crc >> 8);
}

TEST(SettingsFile, SavedTableLoadsBack) {
    float table[SETTINGS_COUNT];
    numbered_table(table);
    Bytes disk = file_of(table);
    EXPECT_GE(disk.size(), 1054u); // the banner's four line ends at least
    float back[SETTINGS_COUNT] = {};
    ASSERT_EQ(load_into(disk, back), 0);
    EXPECT_EQ(std::memcmp(back, table, 4 * POS_REPEAT_TIMER), 0);
}

// 8.625 holds a 0x0A byte, 616 a 0x1A byte: both are data and come back unchanged.
TEST(SettingsFile, LineEndAndEndOfFileBytesInValues) {
    for (float value : {8.625f, 616.0f}) {
        float table[SETTINGS_COUNT] = {};
        for (int channel = 1; channel <= CHANNEL_COUNT; ++channel) {
            table[channel_position(COL_RISE_TIME, channel)] = value;
        }
        Bytes disk = file_of(table);
        float back[SETTINGS_COUNT] = {};
        ASSERT_EQ(load_into(disk, back), 0) << value;
        EXPECT_EQ(back[channel_position(COL_RISE_TIME, 24)], value);
        EXPECT_EQ(back[channel_position(COL_RISE_TIME, 1)], value);
    }
    float table[SETTINGS_COUNT] = {};
    table[POS_OFF_TIMER] = 8.625f;
    EXPECT_EQ(file_of(table).size(), 1054u + 1);
}

TEST(SettingsFile, LoneCarriageReturnStays) {
    float table[SETTINGS_COUNT] = {};
    uint32_t bits = 0x410D0D00; // bytes 00 0D 0D 41, then a 0D before a 0A in the next value
    std::memcpy(&table[POS_SENSOR1_MIN], &bits, 4);
    uint32_t next = 0x41000A0D; // bytes 0D 0A 00 41: the 0D is data before an encoded 0A
    std::memcpy(&table[POS_SENSOR2_MIN], &next, 4);
    Bytes disk = file_of(table);
    float back[SETTINGS_COUNT] = {};
    ASSERT_EQ(load_into(disk, back), 0);
    EXPECT_EQ(std::memcmp(&back[POS_SENSOR1_MIN], &bits, 4), 0);
    EXPECT_EQ(std::memcmp(&back[POS_SENSOR2_MIN], &next, 4), 0);
    uint8_t lone[3] = {0x0D, 0x41, 0x0D};
    uint8_t out[3];
    EXPECT_EQ(settings_text_decode(lone, 3, out, 3), 3u);
    EXPECT_EQ(std::memcmp(out, lone, 3), 0);
}

TEST(SettingsFile, ChangedBytesFailTheCheck) {
    float table[SETTINGS_COUNT];
    numbered_table(table);
    Bytes disk = file_of(table);
    Bytes changed = disk;
    changed[500] ^= 0x01;
    float back[SETTINGS_COUNT] = {};
    EXPECT_EQ(load_into(changed, back), -2);
    EXPECT_EQ(back[0], 0.0f) << "nothing unpacked";
    Bytes crc_changed = disk;
    crc_changed.back() ^= 0x80;
    EXPECT_EQ(load_into(crc_changed, back), -2);
    EXPECT_EQ(load_into(Bytes(disk.begin(), disk.end() - 1), back), -1);
    EXPECT_EQ(load_into(Bytes(), back), -1);
}

TEST(SettingsFile, OtherBannerWithItsCrcLoadsAndTrailingBytesAreIgnored) {
    float table[SETTINGS_COUNT];
    numbered_table(table);
    uint8_t image[SETTINGS_FILE_IMAGE_BYTES];
    uint8_t content[SETTINGS_FILE_BYTES];
    settings_image_pack(table, image);
    settings_file_content(image, content);
    std::memset(content + 2, 'Z', 26);
    uint16_t crc = link_crc16(content, 1048);
    content[1048] = static_cast<uint8_t>(crc);
    content[1049] = static_cast<uint8_t>(crc >> 8);
    Bytes longer(content, content + SETTINGS_FILE_BYTES);
    longer.insert(longer.end(), {'t', 'a', 'i', 'l', 0x1A, 0x0A});
    uint8_t out[SETTINGS_FILE_IMAGE_BYTES];
    EXPECT_EQ(settings_file_check(longer.data(), longer.size(), out), 0);
    EXPECT_EQ(std::memcmp(out, image, sizeof out), 0);
}

TEST(SettingsFile, EncodingNeedsItsWholeRoom) {
    uint8_t in[3] = {'a', 0x0A, 'b'};
    uint8_t out[4] = {9, 9, 9, 9};
    EXPECT_EQ(settings_text_encode(in, 3, out, 3), SETTINGS_TEXT_FAILED);
    EXPECT_EQ(out[0], 9);
    EXPECT_EQ(settings_text_encode(in, 3, out, 4), 4u);
    EXPECT_EQ(Bytes(out, out + 4), (Bytes{'a', 0x0D, 0x0A, 'b'}));
    uint8_t decoded[2];
    EXPECT_EQ(settings_text_decode(out, 4, decoded, 2), 2u);
    EXPECT_EQ(decoded[1], 0x0A);
}

TEST(SettingsFile, Extension) {
    EXPECT_TRUE(has_settings_extension(u"C:\\a.lv24"));
    EXPECT_TRUE(has_settings_extension(u".lv24"));
    EXPECT_FALSE(has_settings_extension(u"C:\\a.LV24"));
    EXPECT_FALSE(has_settings_extension(u"C:\\alv24"));
    EXPECT_FALSE(has_settings_extension(u"C:\\a.lv24.txt"));
    EXPECT_FALSE(has_settings_extension(u"lv24"));
    EXPECT_FALSE(has_settings_extension(u""));
}

TEST(SettingsFile, ChosenSavePathGetsTheExtensionOnlyWhenItFits) {
    char16_t path[14] = u"C:\\a.LV24"; // 9 units: ".lv24" needs 5 more and the terminator
    EXPECT_FALSE(settings_path_complete(path, 14));
    EXPECT_EQ(std::u16string(path), u"C:\\a.LV24"); // refused, not cut to another name
    char16_t roomy[16] = u"C:\\a.LV24";
    EXPECT_TRUE(settings_path_complete(roomy, 16));
    EXPECT_EQ(std::u16string(roomy), u"C:\\a.LV24.lv24");
    char16_t kept[8] = u"b.lv24"; // already complete: no room needed
    EXPECT_TRUE(settings_path_complete(kept, 8));
    EXPECT_EQ(std::u16string(kept), u"b.lv24");
    char16_t exact[10] = u"C:\\x"; // 4 units + 5 + the terminator fill it exactly
    EXPECT_TRUE(settings_path_complete(exact, 10));
    EXPECT_EQ(std::u16string(exact), u"C:\\x.lv24");
    char16_t unterminated[4] = {u'a', u'b', u'c', u'd'}; // never read past the buffer
    EXPECT_FALSE(settings_path_complete(unterminated, 4));
}

} // namespace
