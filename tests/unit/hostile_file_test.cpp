// Settings files damaged on the way: every truncation and every single-bit flip of a valid file
// goes through the same decoding and check as a load. Each must be refused, or, when it passes,
// give exactly the settings that were saved.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "settings/settings_file_format.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t LOAD_READ_BYTES = 2 * SETTINGS_FILE_BYTES + 1; // what a load reads at most

struct SavedFile {
    uint8_t image[SETTINGS_FILE_IMAGE_BYTES];
    Bytes disk;
};

// A file whose values put 0x0A, 0x0D and 0x1A bytes into the content, so that the line-end
// pairs of the disk form are spread over the whole file.
SavedFile saved_file() {
    float table[SETTINGS_COUNT];
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        const float values[] = {8.625f, 616.0f, 1.0f, 0.0f, 100.5f, 3e-39f, -2.0f};
        table[p] = values[p % 7];
    }
    SavedFile file{};
    settings_image_pack(table, file.image);
    uint8_t content[SETTINGS_FILE_BYTES];
    settings_file_content(file.image, content);
    file.disk.resize(2 * SETTINGS_FILE_BYTES);
    const size_t n =
        settings_text_encode(content, SETTINGS_FILE_BYTES, file.disk.data(), file.disk.size());
    file.disk.resize(n);
    return file;
}

// Loads disk bytes the way the program does: at most LOAD_READ_BYTES of them, decoded, checked.
// Returns the check's result and the image it gave.
int load(const Bytes& disk, uint8_t image[SETTINGS_FILE_IMAGE_BYTES]) {
    const size_t n = disk.size() < LOAD_READ_BYTES ? disk.size() : LOAD_READ_BYTES;
    Bytes decoded(LOAD_READ_BYTES);
    const size_t got = settings_text_decode(disk.data(), n, decoded.data(), decoded.size());
    return settings_file_check(decoded.data(), got, image);
}

TEST(HostileFile, TheValidFileLoadsAndHasLineEndPairsThroughout) {
    const SavedFile file = saved_file();
    EXPECT_GT(file.disk.size(), SETTINGS_FILE_BYTES + 30);
    uint8_t image[SETTINGS_FILE_IMAGE_BYTES];
    ASSERT_EQ(load(file.disk, image), 0);
    EXPECT_EQ(memcmp(image, file.image, sizeof image), 0);
}

TEST(HostileFile, EveryTruncationIsRefused) {
    const SavedFile file = saved_file();
    for (size_t length = 0; length < file.disk.size(); ++length) {
        const Bytes cut(file.disk.begin(), file.disk.begin() + static_cast<long>(length));
        uint8_t image[SETTINGS_FILE_IMAGE_BYTES];
        EXPECT_NE(load(cut, image), 0) << "cut to " << length << " bytes";
    }
}

TEST(HostileFile, EverySingleBitFlipIsRefusedOrLoadsTheSavedSettings) {
    const SavedFile file = saved_file();
    size_t refused = 0;
    for (size_t bit = 0; bit < 8 * file.disk.size(); ++bit) {
        Bytes flipped = file.disk;
        flipped[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        uint8_t image[SETTINGS_FILE_IMAGE_BYTES];
        memset(image, 0xEE, sizeof image);
        if (load(flipped, image) != 0) {
            ++refused;
            continue;
        }
        EXPECT_EQ(memcmp(image, file.image, sizeof image), 0) << "bit " << bit;
    }
    // Only flips in what the check does not cover may pass: none here, since the file ends
    // with the checksum.
    EXPECT_EQ(refused, 8 * file.disk.size());
}

TEST(HostileFile, GarbageOfEveryShapeIsRefused) {
    const uint8_t fills[] = {0x00, 0x0A, 0x0D, 0x1A, 0xFF};
    uint8_t image[SETTINGS_FILE_IMAGE_BYTES];
    for (uint8_t fill : fills) {
        for (size_t size : {size_t{1}, SETTINGS_FILE_BYTES, LOAD_READ_BYTES, size_t{100000}}) {
            EXPECT_NE(load(Bytes(size, fill), image), 0) << int(fill) << " x " << size;
        }
    }
    Bytes pairs;
    for (size_t i = 0; i < 3 * SETTINGS_FILE_BYTES; ++i) {
        pairs.push_back(i % 2 == 0 ? 0x0D : 0x0A);
    }
    EXPECT_NE(load(pairs, image), 0);
}

TEST(HostileFile, BytesAfterAValidFileAreIgnored) {
    SavedFile file = saved_file();
    file.disk.resize(file.disk.size() + 50000, 0x5A);
    uint8_t image[SETTINGS_FILE_IMAGE_BYTES];
    ASSERT_EQ(load(file.disk, image), 0);
    EXPECT_EQ(memcmp(image, file.image, sizeof image), 0);
}

} // namespace
