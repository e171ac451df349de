#include "link/status_reply.h"

#include <cmath>
#include <cstring>

#include "base/number_text.h"

namespace {

constexpr size_t LENGTH_LOW_AT = 2;
constexpr size_t RAW_LIGHT_AT = 4;
constexpr size_t DISTANCE1_AT = 6;
constexpr size_t DISTANCE2_AT = 10;
constexpr size_t FAULT_BITS_AT = 14;
constexpr size_t FIELDS_END = 15; // bytes needed from the frame's start to read every field

constexpr uint8_t FAULT_SENSOR1 = 0x01;
constexpr uint8_t FAULT_SENSOR2 = 0x02;

constexpr char16_t NOT_WORKING[] = u"Не работает";

float get_float(const uint8_t* at) {
    uint32_t bits = static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
                    static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
    float value;
    memcpy(&value, &bits, sizeof value);
    return value;
}

void distance_text(char16_t* out, float distance, bool fails) {
    double rounded = std::trunc(static_cast<double>(distance) + 0.5);
    if (fails || !(rounded >= INT32_MIN && rounded <= INT32_MAX)) {
        memcpy(out, NOT_WORKING, sizeof NOT_WORKING);
        return;
    }
    num_format_int(out, TEXT_LINE_UNITS, static_cast<int32_t>(rounded));
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

void status_reading_texts(const StatusReadings* readings, char16_t illuminance[TEXT_LINE_UNITS],
                          char16_t distance1[TEXT_LINE_UNITS],
                          char16_t distance2[TEXT_LINE_UNITS]) {
    float percent = static_cast<float>((4096.0 - readings->raw_light) * 100.0 / 4096.0);
    num_format_fixed_width(illuminance, TEXT_LINE_UNITS, percent, 3, 1);
    distance_text(distance1, readings->distance1, readings->fault_bits & FAULT_SENSOR1);
    distance_text(distance2, readings->distance2, readings->fault_bits & FAULT_SENSOR2);
}
