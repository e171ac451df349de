#include "link/status_reply.h"

#include <cstring>

namespace {

constexpr size_t LENGTH_LOW_AT = 2;
constexpr size_t RAW_LIGHT_AT = 4;
constexpr size_t DISTANCE1_AT = 6;
constexpr size_t DISTANCE2_AT = 10;
constexpr size_t FAULT_BITS_AT = 14;
constexpr size_t FIELDS_END = 15; // bytes needed from the frame's start to read every field

float get_float(const uint8_t* at) {
    uint32_t bits = static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
                    static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
    float value;
    memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace

bool status_reply_parse(const uint8_t* data, size_t n, StatusReadings* out) {
    while (n != 0 && *data == 0) {
        ++data;
        --n;
    }
    if (n < FIELDS_END || n < data[LENGTH_LOW_AT]) {
        return false;
    }
    out->raw_light = static_cast<uint16_t>(data[RAW_LIGHT_AT] | (data[RAW_LIGHT_AT + 1] << 8));
    out->distance1 = get_float(data + DISTANCE1_AT);
    out->distance2 = get_float(data + DISTANCE2_AT);
    out->fault_bits = data[FAULT_BITS_AT];
    return true;
}
