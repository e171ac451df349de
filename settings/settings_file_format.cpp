#include "settings/settings_file_format.h"

#include <cstring>

#include "link/crc16.h"

namespace {

// The banner: an empty line, the maker, its city and its web address.
constexpr char SETTINGS_BANNER[] = "\r\n"
                                   "Lumivo Lighting Works Ltd.\r\n"
                                   "Nizhny Novgorod\r\n"
                                   "lumivo.example\r\n";
static_assert(sizeof SETTINGS_BANNER - 1 == SETTINGS_BANNER_BYTES);

void float_store(float value, uint8_t* out) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<uint8_t>(bits >> (8 * i));
    }
}

float float_load(const uint8_t* in) {
    uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) {
        bits |= static_cast<uint32_t>(in[i]) << (8 * i);
    }
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace

void settings_image_pack(const float table[SETTINGS_COUNT],
                         uint8_t image[SETTINGS_FILE_IMAGE_BYTES]) {
    for (size_t i = 0; i < SETTINGS_FILE_IMAGE_FLOATS; ++i) {
        float_store(table[SettingsImageOrder[i]], image + 4 * i);
    }
}

void settings_image_unpack(const uint8_t image[SETTINGS_FILE_IMAGE_BYTES],
                           float table[SETTINGS_COUNT]) {
    for (size_t i = 0; i < SETTINGS_FILE_IMAGE_FLOATS; ++i) {
        table[SettingsImageOrder[i]] = float_load(image + 4 * i);
    }
}

void settings_file_content(const uint8_t image[SETTINGS_FILE_IMAGE_BYTES],
                           uint8_t content[SETTINGS_FILE_BYTES]) {
    std::memcpy(content, SETTINGS_BANNER, SETTINGS_BANNER_BYTES);
    content[SETTINGS_BANNER_BYTES] = 0;
    std::memcpy(content + SETTINGS_IMAGE_OFFSET, image, SETTINGS_FILE_IMAGE_BYTES);
    uint16_t crc = link_crc16(content, static_cast<uint16_t>(SETTINGS_CRC_OFFSET));
    content[SETTINGS_CRC_OFFSET] = static_cast<uint8_t>(crc);
    content[SETTINGS_CRC_OFFSET + 1] = static_cast<uint8_t>(crc >> 8);
}

size_t settings_text_encode(const uint8_t* in, size_t n, uint8_t* out, size_t cap) {
    size_t needed = n;
    for (size_t i = 0; i < n; ++i) {
        needed += in[i] == 0x0A;
    }
    if (needed > cap) {
        return SETTINGS_TEXT_FAILED;
    }
    size_t at = 0;
    for (size_t i = 0; i < n; ++i) {
        if (in[i] == 0x0A) {
            out[at++] = 0x0D;
        }
        out[at++] = in[i];
    }
    return at;
}

size_t settings_text_decode(const uint8_t* in, size_t n, uint8_t* out, size_t cap) {
    size_t at = 0;
    for (size_t i = 0; i < n && at < cap; ++i) {
        if (in[i] == 0x0D && i + 1 < n && in[i + 1] == 0x0A) {
            continue; // the pair's 0x0A is written next
        }
        out[at++] = in[i];
    }
    return at;
}

int settings_file_check(const uint8_t* decoded, size_t n,
                        uint8_t image[SETTINGS_FILE_IMAGE_BYTES]) {
    if (n < SETTINGS_FILE_BYTES) {
        return -1;
    }
    uint16_t crc = link_crc16(decoded, static_cast<uint16_t>(SETTINGS_CRC_OFFSET));
    uint16_t stored =
        static_cast<uint16_t>(decoded[SETTINGS_CRC_OFFSET] | decoded[SETTINGS_CRC_OFFSET + 1] << 8);
    if (crc != stored) {
        return -2;
    }
    std::memcpy(image, decoded + SETTINGS_IMAGE_OFFSET, SETTINGS_FILE_IMAGE_BYTES);
    return 0;
}

int settings_file_load(const uint8_t* disk, size_t n, uint8_t image[SETTINGS_FILE_IMAGE_BYTES]) {
    const size_t looked_at = n < SETTINGS_FILE_READ_BYTES ? n : SETTINGS_FILE_READ_BYTES;
    uint8_t content[SETTINGS_FILE_READ_BYTES];
    const size_t decoded = settings_text_decode(disk, looked_at, content, sizeof content);
    const int checked = settings_file_check(content, decoded, image);
    if (checked == 0) {
        return SETTINGS_LOAD_OK;
    }
    // What a dos2unix'd copy looks like: the bytes as they stand check out.
    uint8_t unused[SETTINGS_FILE_IMAGE_BYTES];
    return settings_file_check(disk, looked_at, unused) == 0 ? SETTINGS_LOAD_LINE_ENDS
           : checked == -1                                   ? SETTINGS_LOAD_SHORT
                                                             : SETTINGS_LOAD_CRC;
}

size_t settings_file_bytes(const float table[SETTINGS_COUNT], uint8_t out[SETTINGS_FILE_DISK_MAX]) {
    uint8_t image[SETTINGS_FILE_IMAGE_BYTES];
    uint8_t content[SETTINGS_FILE_BYTES];
    settings_image_pack(table, image);
    settings_file_content(image, content);
    return settings_text_encode(content, SETTINGS_FILE_BYTES, out, SETTINGS_FILE_DISK_MAX);
}

bool has_settings_extension(const char16_t* path) {
    static const char16_t extension[] = u".lv24";
    size_t length = 0;
    while (path[length] != 0) {
        ++length;
    }
    if (length < 5) {
        return false;
    }
    return std::memcmp(path + length - 5, extension, 5 * sizeof(char16_t)) == 0;
}

bool settings_path_complete(char16_t* path, size_t cap) {
    static const char16_t extension[] = u".lv24";
    size_t length = 0;
    while (length < cap && path[length] != 0) {
        ++length;
    }
    if (length == cap) {
        return false; // no terminator inside the buffer: nothing to trust
    }
    if (length >= 5 && std::memcmp(path + length - 5, extension, 5 * sizeof(char16_t)) == 0) {
        return true;
    }
    if (length + 5 >= cap) {
        return false;
    }
    std::memcpy(path + length, extension, sizeof(extension));
    return true;
}
