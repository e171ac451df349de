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

} // namespace

ValueRange values_range(int position) {
    double lowest = 0.0;
    double highest = 1.0;
    if (!is_flag(position)) {
        wire_image_field_range(position, &lowest, &highest);
    }
    // The light threshold is a point on the sensor's scale, night (0 %, raw 4096) to day (100 %,
    // raw 0). Its field also takes raw values beyond 4096, which come back as negative percents
    // no light reading ever reaches, so a threshold there is no threshold at all.
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
    int order[VALUES_LISTED];
    const size_t listed = values_listing_order(order);
    size_t n = 0;
    for (size_t i = 0; i < listed; ++i) {
        const int p = order[i];
        if (!source->held[p]) {
            continue;
        }
        // What comes back must be the value within its field's rounding, and within the range
        // the field stands for (a light threshold of -1 % comes back as -0.98 %, still outside).
        const ValueRange range = values_range(p);
        if (values_field_holds(p, table[p], held[p]) && held[p] >= range.lowest &&
            held[p] <= range.highest) {
            continue;
        }
        if (n < cap) {
            out[n] = {p, table[p], held[p]};
        }
        ++n;
    }
    return n;
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
