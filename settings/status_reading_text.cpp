#include "settings/status_reading_text.h"

#include <cmath>
#include <cstring>

#include "base/number_text.h"

namespace {

constexpr char16_t NOT_WORKING[] = u"Не работает";

void distance_text(char16_t* out, float distance, bool fails) {
    double rounded = std::trunc(static_cast<double>(distance) + 0.5);
    if (fails || !(rounded >= INT32_MIN && rounded <= INT32_MAX)) {
        memcpy(out, NOT_WORKING, sizeof NOT_WORKING);
        return;
    }
    num_format_int(out, TEXT_LINE_UNITS, static_cast<int32_t>(rounded));
}

} // namespace

void status_reading_texts(const StatusReadings* readings, char16_t illuminance[TEXT_LINE_UNITS],
                          char16_t distance1[TEXT_LINE_UNITS],
                          char16_t distance2[TEXT_LINE_UNITS]) {
    float percent = static_cast<float>((4096.0 - readings->raw_light) * 100.0 / 4096.0);
    num_format_fixed_width(illuminance, TEXT_LINE_UNITS, percent, 3, 1);
    distance_text(distance1, readings->distance1, readings->fault_bits & STATUS_FAULT_SENSOR1);
    distance_text(distance2, readings->distance2, readings->fault_bits & STATUS_FAULT_SENSOR2);
}
