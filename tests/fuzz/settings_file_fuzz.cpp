// A settings file as it lies on disk: whatever the user picks in the open dialog, or names on
// the command line.
//
// Input: the file's bytes. They are loaded the way the program loads a file (the first 2101
// bytes read, decoded from text line ends, checked, the image unpacked into the table), and
// checked against the file layout written out here once more. The same bytes, taken as content
// and as an image, go through the way back (encoding, building a file) and must return
// unchanged; read as UTF-16 units they are a path for the extension test and the completion of
// a save path.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "settings/settings_file_format.h"
#include "settings/settings_layout.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

constexpr size_t FILE_BYTES = 1050;
constexpr size_t IMAGE_AT = 64;
constexpr size_t IMAGE_BYTES = 984;
constexpr size_t CRC_AT = 1048;
constexpr size_t READ_BYTES = 2 * FILE_BYTES + 1; // what a load reads of a file

// CR LF pairs back to LF; every other byte as it is.
FUZZ_REFERENCE std::vector<uint8_t> decoded(const uint8_t* data, size_t n) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < n; ++i) {
        if (!(data[i] == 0x0D && i + 1 < n && data[i + 1] == 0x0A)) {
            out.push_back(data[i]);
        }
    }
    return out;
}

// Table position of float i of the image: the four sensor values in the order Sensor1Min,
// Sensor2Min, Sensor1Max, Sensor2Max, three more globals, then channel records whose ninth
// value is StandbyLevel and tenth StandbyEnabled.
int image_position(size_t i) {
    static const int globals[7] = {POS_SENSOR1_MIN, POS_SENSOR2_MIN,     POS_SENSOR1_MAX,
                                   POS_SENSOR2_MAX, POS_LIGHT_THRESHOLD, POS_USE_LIGHT_SENSOR,
                                   POS_OFF_TIMER};
    static const int record[10] = {COL_ON_DELAY,       COL_ON_START_LEVEL, COL_ON_END_LEVEL,
                                   COL_RISE_TIME,      COL_OFF_DELAY,      COL_OFF_START_LEVEL,
                                   COL_OFF_END_LEVEL,  COL_FALL_TIME,      COL_STANDBY_LEVEL,
                                   COL_STANDBY_ENABLED};
    if (i < 7) {
        return globals[i];
    }
    int channel = static_cast<int>((i - 7) / 10) + 1;
    return channel_position(record[(i - 7) % 10], channel);
}

// The load path of the program, step by step.
void check_load(const uint8_t* data, size_t size) {
    size_t got = std::min(size, READ_BYTES);
    ExactBytes disk = exact_copy(data, got);
    ExactBytes content(new uint8_t[READ_BYTES]);
    size_t n = settings_text_decode(disk.get(), got, content.get(), READ_BYTES);
    std::vector<uint8_t> expected = decoded(data, got);
    FUZZ_CHECK(n == expected.size());
    FUZZ_CHECK(same_bytes(content.get(), expected.data(), n));

    // A smaller output buffer gets the same bytes, as many as fit.
    size_t cap = size % 1200;
    ExactBytes part(new uint8_t[cap]);
    size_t m = settings_text_decode(disk.get(), got, part.get(), cap);
    FUZZ_CHECK(m == std::min(n, cap));
    FUZZ_CHECK(same_bytes(part.get(), expected.data(), m));

    ExactBytes decoded_exact = exact_copy(content.get(), n); // the check sees n bytes only
    uint8_t image[SETTINGS_FILE_IMAGE_BYTES];
    memset(image, 0xA5, sizeof image);
    int result = settings_file_check(decoded_exact.get(), n, image);
    if (n < FILE_BYTES) {
        FUZZ_CHECK(result == -1);
    } else {
        bool crc_ok = le16(expected.data() + CRC_AT) == reference_crc16(expected.data(), CRC_AT);
        FUZZ_CHECK(result == (crc_ok ? 0 : -2));
    }
    if (result != 0) {
        for (uint8_t byte : image) {
            FUZZ_CHECK(byte == 0xA5);
        }
        return;
    }
    FUZZ_CHECK(memcmp(image, expected.data() + IMAGE_AT, IMAGE_BYTES) == 0);

    float table[SETTINGS_COUNT];
    for (int i = 0; i < SETTINGS_COUNT; ++i) {
        table[i] = float_of_bits(0xFFC00000u + static_cast<uint32_t>(i));
    }
    settings_image_unpack(image, table);
    std::vector<bool> written(SETTINGS_COUNT, false);
    for (size_t i = 0; i < IMAGE_BYTES / 4; ++i) {
        int position = image_position(i);
        FUZZ_CHECK(bits_of_float(table[position]) == le32(image + 4 * i));
        written[static_cast<size_t>(position)] = true;
    }
    for (int i = 0; i < SETTINGS_COUNT; ++i) {
        if (!written[static_cast<size_t>(i)]) { // RepeatTimer, the last StandbyEnabled
            FUZZ_CHECK(bits_of_float(table[i]) == 0xFFC00000u + static_cast<uint32_t>(i));
        }
    }
    uint8_t again[SETTINGS_FILE_IMAGE_BYTES];
    settings_image_pack(table, again);
    FUZZ_CHECK(memcmp(again, image, IMAGE_BYTES) == 0);
}

// Encoding any bytes and decoding them gives them back; a buffer one byte short takes nothing.
void check_encode(const uint8_t* data, size_t size) {
    size_t needed = size;
    for (size_t i = 0; i < size; ++i) {
        needed += data[i] == 0x0A;
    }
    ExactBytes in = exact_copy(data, size);
    if (needed > 0) {
        ExactBytes short_out(new uint8_t[needed - 1]);
        memset(short_out.get(), 0x5A, needed - 1);
        size_t failed = settings_text_encode(in.get(), size, short_out.get(), needed - 1);
        FUZZ_CHECK(failed == SETTINGS_TEXT_FAILED);
        for (size_t i = 0; i < needed - 1; ++i) {
            FUZZ_CHECK(short_out[i] == 0x5A);
        }
    }
    ExactBytes out(new uint8_t[needed]);
    size_t written = settings_text_encode(in.get(), size, out.get(), needed);
    FUZZ_CHECK(written == needed);
    for (size_t i = 0; i < written; ++i) {
        FUZZ_CHECK(out[i] != 0x0A || (i > 0 && out[i - 1] == 0x0D));
    }
    ExactBytes back(new uint8_t[size]);
    FUZZ_CHECK(settings_text_decode(out.get(), written, back.get(), size) == size);
    FUZZ_CHECK(same_bytes(back.get(), data, size));
}

// Any image saved and loaded again comes back bit for bit.
void check_save(const uint8_t* data, size_t size) {
    uint8_t image[SETTINGS_FILE_IMAGE_BYTES] = {};
    memcpy(image, data, std::min(size, IMAGE_BYTES));
    uint8_t content[SETTINGS_FILE_BYTES];
    settings_file_content(image, content);
    FUZZ_CHECK(content[IMAGE_AT - 1] == 0);
    FUZZ_CHECK(memcmp(content + IMAGE_AT, image, IMAGE_BYTES) == 0);
    FUZZ_CHECK(le16(content + CRC_AT) == reference_crc16(content, CRC_AT));

    uint8_t disk[2 * FILE_BYTES];
    size_t written = settings_text_encode(content, FILE_BYTES, disk, sizeof disk);
    FUZZ_CHECK(written != SETTINGS_TEXT_FAILED && written >= FILE_BYTES + 4);
    uint8_t loaded[READ_BYTES];
    size_t n = settings_text_decode(disk, written, loaded, sizeof loaded);
    uint8_t back[SETTINGS_FILE_IMAGE_BYTES];
    FUZZ_CHECK(n == FILE_BYTES && settings_file_check(loaded, n, back) == 0);
    FUZZ_CHECK(memcmp(back, image, IMAGE_BYTES) == 0);
}

void check_extension(const uint8_t* data, size_t size) {
    std::u16string path;
    for (size_t i = 0; i + 1 < size && path.size() < 64; i += 2) {
        char16_t unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
        if (unit == 0) {
            break;
        }
        path += unit;
    }
    std::unique_ptr<char16_t[]> exact(new char16_t[path.size() + 1]);
    memcpy(exact.get(), path.c_str(), (path.size() + 1) * sizeof(char16_t));
    bool expected = path.size() >= 5 && path.compare(path.size() - 5, 5, u".lv24") == 0;
    FUZZ_CHECK(has_settings_extension(exact.get()) == expected);

    // The save path gets the extension appended in its buffer, or is left as it is when the
    // buffer (terminated, with 0 to 7 units to spare) has no room for it.
    size_t cap = path.size() + 1 + (size != 0 ? data[size - 1] % 8 : 0);
    std::unique_ptr<char16_t[]> buffer(new char16_t[cap]);
    std::fill(buffer.get(), buffer.get() + cap, u'#');
    memcpy(buffer.get(), path.c_str(), (path.size() + 1) * sizeof(char16_t));
    bool completed = settings_path_complete(buffer.get(), cap);
    std::u16string result(buffer.get());
    if (expected) {
        FUZZ_CHECK(completed && result == path);
    } else if (path.size() + 5 < cap) {
        FUZZ_CHECK(completed && result == path + u".lv24");
    } else {
        FUZZ_CHECK(!completed && result == path);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    check_load(data, size);
    check_encode(data, size);
    check_save(data, size);
    check_extension(data, size);
    return 0;
}
