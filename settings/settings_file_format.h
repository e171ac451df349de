// The settings file: a banner, the settings image and a CRC-16, stored with text line ends.
//
// Content, 1050 bytes: a 63-byte banner (an empty line and three lines of 26, 15 and 14 bytes,
// each ended by CR LF), a 0 byte, the 984-byte image, and link_crc16 over bytes 0..1047 stored
// little-endian. The image holds 246 floats, each a bit copy of a table cell, little-endian, in
// the order of the settings' rows (their file index, settings/setting_rows.h): the global values
// but RepeatTimer, then 24 channel records. The last record ends before its StandbyEnabled, and
// RepeatTimer is not stored at all; unpacking leaves both of those table cells as they are.
//
// On disk every 0x0A of the content is preceded by 0x0D (the form a text-mode stream writes).
// Decoding turns each 0x0D 0x0A pair back into 0x0A and keeps every other byte, 0x1A included:
// a float such as 616.0 (00 00 1A 44) or a CRC byte 0x1A is ordinary data here, so a file is
// read in binary mode and decoded with settings_text_decode, never through a text-mode stream,
// which would take 0x1A for the end of the file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "settings/setting_rows.h"

// Every record whole but the last, which lacks its StandbyEnabled.
constexpr size_t SETTINGS_FILE_IMAGE_FLOATS =
    SETTINGS_FILE_GLOBAL_FLOATS + CHANNEL_COUNT * SETTINGS_FILE_RECORD_FLOATS - 1; // 246
constexpr size_t SETTINGS_FILE_IMAGE_BYTES = 4 * SETTINGS_FILE_IMAGE_FLOATS;       // 984
constexpr size_t SETTINGS_BANNER_BYTES = 63;
constexpr size_t SETTINGS_IMAGE_OFFSET = SETTINGS_BANNER_BYTES + 1; // after the 0 byte
constexpr size_t SETTINGS_CRC_OFFSET = SETTINGS_IMAGE_OFFSET + SETTINGS_FILE_IMAGE_BYTES;
constexpr size_t SETTINGS_FILE_BYTES = SETTINGS_CRC_OFFSET + 2; // 1050
constexpr size_t SETTINGS_TEXT_FAILED = SIZE_MAX; // result of an encoding that does not fit
// The most disk bytes the content can take (every byte a 0x0A at worst), and what a load reads:
// one byte more, so that a CR LF pair at the end of the content is never split.
constexpr size_t SETTINGS_FILE_DISK_MAX = 2 * SETTINGS_FILE_BYTES;
constexpr size_t SETTINGS_FILE_READ_BYTES = SETTINGS_FILE_DISK_MAX + 1;

// Table position of each float of the image, in image order, from the rows' file indices.
constexpr std::array<int16_t, SETTINGS_FILE_IMAGE_FLOATS> settings_image_order() {
    std::array<int16_t, SETTINGS_FILE_IMAGE_FLOATS> order{};
    for (int position = 0; position < GLOBAL_COUNT; ++position) {
        if (GlobalRows[position].file_index >= 0) {
            order[GlobalRows[position].file_index] = static_cast<int16_t>(position);
        }
    }
    for (int channel = 1; channel <= CHANNEL_COUNT; ++channel) {
        for (int column = 0; column < CHANNEL_COLUMNS; ++column) {
            const size_t at = SETTINGS_FILE_GLOBAL_FLOATS +
                              SETTINGS_FILE_RECORD_FLOATS * (channel - 1) +
                              ChannelRows[column].file_index;
            if (at < order.size()) {
                order[at] = static_cast<int16_t>(channel_position(column, channel));
            }
        }
    }
    return order;
}
inline constexpr std::array<int16_t, SETTINGS_FILE_IMAGE_FLOATS> SettingsImageOrder =
    settings_image_order();

// The one channel value that no file holds: the last record's StandbyEnabled, which the image
// ends before.
constexpr int SETTINGS_FILE_UNSTORED = channel_position(COL_STANDBY_ENABLED, CHANNEL_COUNT);
static_assert(SETTINGS_FILE_GLOBAL_FLOATS + SETTINGS_FILE_RECORD_FLOATS * (CHANNEL_COUNT - 1) +
                      ChannelRows[COL_STANDBY_ENABLED].file_index ==
                  SETTINGS_FILE_IMAGE_FLOATS,
              "the last record's StandbyEnabled is the float after the image");

// Copies the table into the image and back (see the layout above).
void settings_image_pack(const float table[SETTINGS_COUNT],
                         uint8_t image[SETTINGS_FILE_IMAGE_BYTES]);
void settings_image_unpack(const uint8_t image[SETTINGS_FILE_IMAGE_BYTES],
                           float table[SETTINGS_COUNT]);

// Builds the 1050-byte content of a file holding `image`.
void settings_file_content(const uint8_t image[SETTINGS_FILE_IMAGE_BYTES],
                           uint8_t content[SETTINGS_FILE_BYTES]);

// Writes `in` with each 0x0A as 0x0D 0x0A. Returns the bytes written, or SETTINGS_TEXT_FAILED
// (writing nothing) when they would not fit in `cap`.
size_t settings_text_encode(const uint8_t* in, size_t n, uint8_t* out, size_t cap);

// Turns each 0x0D 0x0A of `in` into 0x0A, keeping every other byte, and stops when `cap` bytes
// are written. Returns the bytes written. To get the first k bytes of the content right, give
// at least 2k + 1 bytes of the file, or all of it.
size_t settings_text_decode(const uint8_t* in, size_t n, uint8_t* out, size_t cap);

// Checks decoded file bytes: at least 1050 of them, the CRC of the first 1048 equal to the
// stored one (the banner's text is not compared, later bytes are ignored). On success copies the
// image out and returns 0; returns -1 for a short file and -2 for a CRC mismatch.
int settings_file_check(const uint8_t* decoded, size_t n, uint8_t image[SETTINGS_FILE_IMAGE_BYTES]);

// Loads a settings file from its disk bytes (at most SETTINGS_FILE_READ_BYTES of them are
// looked at): line ends decoded and the content checked, for the window and the command-line
// tool alike. Returns SETTINGS_LOAD_OK and the image, or why the file is refused.
enum SettingsLoadResult : int {
    SETTINGS_LOAD_OK = 0,
    SETTINGS_LOAD_SHORT = -1, // fewer than 1050 bytes once decoded
    SETTINGS_LOAD_CRC = -2,   // the checksum does not match
    // Refused as one of the above, but the bytes as they stand are a whole, matching content: a
    // copy whose CR LF pairs were made LF (dos2unix), which the decoding shortens.
    SETTINGS_LOAD_LINE_ENDS = -3,
};
int settings_file_load(const uint8_t* disk, size_t n, uint8_t image[SETTINGS_FILE_IMAGE_BYTES]);

// The disk bytes of a file holding the table's values, as the window saves its form: image,
// content and line ends. Returns the byte count.
size_t settings_file_bytes(const float table[SETTINGS_COUNT], uint8_t out[SETTINGS_FILE_DISK_MAX]);

// True when `path` ends in ".lv24" exactly (case counts).
bool has_settings_extension(const char16_t* path);

// Gives a chosen save path the extension when it lacks it, in its buffer of `cap` code units.
// False, with the path unchanged, when the buffer has no room left for it: a path cut to make
// room would name another file.
bool settings_path_complete(char16_t* path, size_t cap);
