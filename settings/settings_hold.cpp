#include "settings/settings_hold.h"

#include <cmath>
#include <cstring>

#include "link/wire_image.h"

namespace {

// The rounding a value may come back with, in units of its field: half a unit, and a little
// more, because packing adds a little less than a half before it cuts toward zero (and a
// negative value is cut up by almost a whole unit less than that).
constexpr double FIELD_ROUNDING = 1.0 - WIRE_ROUNDING;
// The light threshold may come back a unit and a half of raw value off (the rounding offset and
// the cut), plus the difference of its two scales for every percent.
constexpr double THRESHOLD_ROUNDING = 2.0 - WIRE_ROUNDING;
constexpr double THRESHOLD_RAW_PER_PERCENT = WIRE_THRESHOLD_RAW / 100.0;
constexpr double THRESHOLD_SCALE_GAP = THRESHOLD_RAW_PER_PERCENT - WIRE_THRESHOLD_OUT_SCALE;
// The relative step between neighbouring single-precision values (2^-23, with a margin).
constexpr double FLOAT_RELATIVE_STEP = 1.2e-7;

bool is_flag(int position) {
    return settings_value_kind(position) == VALUE_FLAG;
}

// The scale of a position's field: 10 for tenths; 1 where there is no field.
double field_scale(int position) {
    const SettingRow* row = setting_row(position);
    return row != nullptr && row->wire_scale != 0 ? row->wire_scale : 1.0;
}

// Whether the controller already holds `given` at `position`: it is the very value the field
// reads as, unpacked (`held`) or as a read shows it (`shown`), so that a file saved from the
// controller writes nothing back; or packing it would change no byte of the image. The light
// threshold, whose two scales differ, is held within its rounding as a read-back is checked.
bool already_held(const uint8_t current[WIRE_IMAGE_BYTES], int position, float given, float held,
                  float shown) {
    if (given == held || given == shown) {
        return true;
    }
    if (settings_value_kind(position) == VALUE_THRESHOLD) {
        return values_field_holds(position, given, held);
    }
    uint8_t packed[WIRE_IMAGE_BYTES];
    memcpy(packed, current, WIRE_IMAGE_BYTES);
    wire_image_put(packed, position, given);
    return memcmp(packed, current, WIRE_IMAGE_BYTES) == 0;
}

} // namespace

void values_image_to_write(const uint8_t current[WIRE_IMAGE_BYTES], const SettingsValues* given,
                           uint8_t out[WIRE_IMAGE_BYTES]) {
    float held[SETTINGS_COUNT] = {};
    wire_image_unpack(current, held);
    SettingsValues shown{};
    values_from_controller(current, &shown);
    memcpy(out, current, WIRE_IMAGE_BYTES);
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        if (given->held[p] && !already_held(current, p, given->table[p], held[p], shown.table[p])) {
            wire_image_put(out, p, given->table[p]);
        }
    }
    wire_image_seal(out);
}

ValueRange values_range(int position) {
    double lowest = 0.0;
    double highest = 1.0;
    if (!is_flag(position)) {
        wire_image_field_range(position, &lowest, &highest);
    }
    // The light threshold's field also takes raw values above the sensor's full scale, which
    // give percentages below 0 that no reading of the sensor reaches: what is meant is 0 (night)
    // to 100 % (day).
    if (settings_value_kind(position) == VALUE_THRESHOLD) {
        lowest = 0.0;
    }
    // The single-precision values within the field's range: a u32 field's highest integer,
    // 4294967295, has none of its own and rounds up to 2^32, which the field cannot take.
    ValueRange range{static_cast<float>(lowest), static_cast<float>(highest)};
    if (range.lowest < lowest) {
        range.lowest = std::nextafter(range.lowest, HUGE_VALF);
    }
    if (range.highest > highest) {
        range.highest = std::nextafter(range.highest, -HUGE_VALF);
    }
    return range;
}

bool values_field_holds(int position, float given, float held) {
    const double g = given;
    const double h = held;
    if (!std::isfinite(g) || !std::isfinite(h)) {
        return false;
    }
    double tolerance = 0.0;
    switch (settings_value_kind(position)) {
    case VALUE_FLAG:
        return (g == 0.0 || g == 1.0) && h == g;
    case VALUE_WHOLE:
    case VALUE_TENTHS:
        tolerance = FIELD_ROUNDING / field_scale(position);
        break;
    case VALUE_THRESHOLD:
        tolerance =
            (THRESHOLD_ROUNDING + THRESHOLD_SCALE_GAP * std::fabs(g)) / THRESHOLD_RAW_PER_PERCENT;
        break;
    }
    // Single precision carries about seven digits: a large value comes back as the nearest float.
    tolerance += std::fabs(g) * FLOAT_RELATIVE_STEP;
    return std::fabs(h - g) <= tolerance;
}

size_t values_unholdable(const SettingsValues* source, ValueMismatch* out, size_t cap) {
    float table[SETTINGS_COUNT] = {};
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        if (source->held[p]) {
            table[p] = source->table[p];
        }
    }
    uint8_t image[WIRE_IMAGE_BYTES];
    wire_image_pack(table, image);
    float held[SETTINGS_COUNT] = {};
    wire_image_unpack(image, held);
    // A value that travels but lies beyond the range meant, by more than its rounding, is
    // refused too, as if it came back as the range's end.
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        const ValueRange range = values_range(p);
        const float v = table[p];
        const float end = v < range.lowest ? range.lowest : range.highest;
        const bool beyond = v < range.lowest || v > range.highest;
        if (source->held[p] && !is_flag(p) && beyond && !values_field_holds(p, v, end) &&
            values_field_holds(p, v, held[p])) {
            held[p] = end;
        }
    }
    // A value the source does not give is compared with itself: only the given ones can differ.
    return values_verify(source, held, held, out, cap);
}

size_t values_verify(const SettingsValues* given, const float before[SETTINGS_COUNT],
                     const float stored[SETTINGS_COUNT], ValueMismatch* out, size_t cap) {
    int order[VALUES_LISTED];
    const size_t listed = values_listing_order(order);
    size_t n = 0;
    for (size_t i = 0; i < listed; ++i) {
        const int p = order[i];
        const float expected = given->held[p] ? given->table[p] : before[p];
        const bool kept = given->held[p] ? values_field_holds(p, expected, stored[p])
                                         : memcmp(&stored[p], &before[p], sizeof(float)) == 0;
        if (kept) {
            continue;
        }
        if (n < cap) {
            out[n] = {p, expected, stored[p]};
        }
        ++n;
    }
    return n;
}
