#include "settings/settings_values.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "link/wire_image.h"
#include "settings/form_text.h"

namespace {

struct GlobalName {
    const char* name;
    int position;
    const char* unit;
};

constexpr GlobalName GLOBAL_NAMES[VALUES_GLOBAL_NAMES] = {
    {"sensor1_min_cm", POS_SENSOR1_MIN, "cm"},
    {"sensor1_max_cm", POS_SENSOR1_MAX, "cm"},
    {"sensor2_min_cm", POS_SENSOR2_MIN, "cm"},
    {"sensor2_max_cm", POS_SENSOR2_MAX, "cm"},
    {"light_threshold_percent", POS_LIGHT_THRESHOLD, "%"},
    {"use_light_sensor", POS_USE_LIGHT_SENSOR, ""},
    {"off_timer_s", POS_OFF_TIMER, "s"},
};

constexpr const char* CHANNEL_NAMES[CHANNEL_COLUMNS] = {
    "on_delay_ms",     "on_start_level_percent",  "on_end_level_percent",  "rise_time_ms",
    "off_delay_ms",    "off_start_level_percent", "off_end_level_percent", "fall_time_ms",
    "standby_enabled", "standby_level_percent",
};
constexpr const char* CHANNEL_UNITS[CHANNEL_COLUMNS] = {"ms", "%", "%",  "ms", "ms",
                                                        "%",  "%", "ms", "",   "%"};

constexpr int LAST_STANDBY_FLAG = channel_position(COL_STANDBY_ENABLED, CHANNEL_COUNT);
constexpr size_t FORM_TEXT_UNITS = TEXT_LINE_UNITS; // the form's text buffer for one value

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

void clear(SettingsValues* out, bool held) {
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        out->table[p] = 0.0f;
        out->held[p] = held;
    }
    out->held[POS_REPEAT_TIMER] = false;
}

bool is_flag(int position) {
    return settings_value_kind(position) == VALUE_FLAG;
}

} // namespace

const char* values_global_name(int i) {
    return i >= 0 && i < VALUES_GLOBAL_NAMES ? GLOBAL_NAMES[i].name : "";
}

int values_global_position(int i) {
    return i >= 0 && i < VALUES_GLOBAL_NAMES ? GLOBAL_NAMES[i].position : POS_REPEAT_TIMER;
}

const char* values_channel_name(int column) {
    return column >= 0 && column < CHANNEL_COLUMNS ? CHANNEL_NAMES[column] : "";
}

bool values_position_name(int position, const char** name, int* channel) {
    for (const GlobalName& global : GLOBAL_NAMES) {
        if (global.position == position) {
            *name = global.name;
            *channel = 0;
            return true;
        }
    }
    if (position < GLOBAL_COUNT || position >= SETTINGS_COUNT) {
        return false;
    }
    *name = CHANNEL_NAMES[(position - GLOBAL_COUNT) / CHANNEL_COUNT];
    *channel = (position - GLOBAL_COUNT) % CHANNEL_COUNT + 1;
    return true;
}

void values_from_file(const uint8_t image[SETTINGS_FILE_IMAGE_BYTES], SettingsValues* out) {
    clear(out, true);
    settings_image_unpack(image, out->table);
    out->held[LAST_STANDBY_FLAG] = false;
}

void values_from_defaults(SettingsValues* out) {
    clear(out, true);
    DefaultStep steps[DEFAULT_STEP_COUNT];
    const size_t n = settings_defaults(steps, DEFAULT_STEP_COUNT);
    for (size_t i = 0; i < n; ++i) {
        const DefaultStep& step = steps[i];
        // As the form gathers: a check box gives 1 or 0, an edit its text's value.
        out->table[step.position] =
            step.is_flag ? (step.checked ? 1.0f : 0.0f) : form_text_value(step.text);
    }
}

void values_from_image(const uint8_t image[WIRE_IMAGE_BYTES], SettingsValues* out) {
    clear(out, true);
    wire_image_unpack(image, out->table);
}

void values_from_controller(const uint8_t image[WIRE_IMAGE_BYTES], SettingsValues* out) {
    values_from_image(image, out);
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        if (!out->held[p]) {
            continue;
        }
        if (is_flag(p)) {
            out->table[p] = form_flag_checked(out->table[p]) ? 1.0f : 0.0f;
            continue;
        }
        char16_t text[FORM_TEXT_UNITS];
        form_value_text(text, FORM_TEXT_UNITS, p, out->table[p], SHOW_CONTROLLER);
        out->table[p] = form_text_value(text);
    }
}

size_t values_text(int position, float value, char out[VALUES_TEXT_BYTES]) {
    if (is_flag(position)) {
        const char* fixed = form_flag_checked(value) ? "true" : "false";
        const size_t n = strlen(fixed);
        memcpy(out, fixed, n + 1);
        return n;
    }
    return values_number_text(value, out);
}

size_t values_number_text(float value, char out[VALUES_TEXT_BYTES]) {
    const char* fixed = nullptr;
    if (std::isnan(value)) {
        fixed = "nan";
    } else if (std::isinf(value)) {
        fixed = value < 0 ? "-inf" : "inf";
    }
    if (fixed != nullptr) {
        const size_t n = strlen(fixed);
        memcpy(out, fixed, n + 1);
        return n;
    }
    // Shortest round trip: the fewest digits that read back to this very float.
    const std::to_chars_result r = std::to_chars(out, out + VALUES_TEXT_BYTES - 1, value);
    const size_t n = r.ec == std::errc() ? static_cast<size_t>(r.ptr - out) : 0;
    out[n] = '\0';
    return n;
}

bool values_differ(const SettingsValues* a, const SettingsValues* b, int position) {
    if (!a->held[position] || !b->held[position]) {
        return false;
    }
    char ta[VALUES_TEXT_BYTES];
    char tb[VALUES_TEXT_BYTES];
    values_text(position, a->table[position], ta);
    values_text(position, b->table[position], tb);
    return strcmp(ta, tb) != 0;
}

size_t values_file_bytes(const SettingsValues* values, uint8_t out[VALUES_FILE_DISK_MAX]) {
    return settings_file_bytes(values->table, out);
}

int values_file_load(const uint8_t* disk, size_t n, SettingsValues* out) {
    uint8_t image[SETTINGS_FILE_IMAGE_BYTES];
    const int loaded = settings_file_load(disk, n, image);
    if (loaded == SETTINGS_LOAD_OK) {
        values_from_file(image, out);
    }
    return loaded;
}

void values_image_to_write(const uint8_t current[WIRE_IMAGE_BYTES], const SettingsValues* given,
                           uint8_t out[WIRE_IMAGE_BYTES]) {
    float held[SETTINGS_COUNT] = {};
    wire_image_unpack(current, held);
    memcpy(out, current, WIRE_IMAGE_BYTES);
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        if (given->held[p] && !values_field_holds(p, given->table[p], held[p])) {
            wire_image_put(out, p, given->table[p]);
        }
    }
    wire_image_seal(out);
}

const char* values_unit(int position) {
    for (const GlobalName& global : GLOBAL_NAMES) {
        if (global.position == position) {
            return global.unit;
        }
    }
    if (position < GLOBAL_COUNT || position >= SETTINGS_COUNT) {
        return "";
    }
    return CHANNEL_UNITS[(position - GLOBAL_COUNT) / CHANNEL_COUNT];
}

ValueRange values_range(int position) {
    double lowest = 0.0;
    double highest = 1.0;
    if (!is_flag(position)) {
        wire_image_field_range(position, &lowest, &highest);
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

size_t values_listing_order(int out[VALUES_LISTED]) {
    size_t n = 0;
    for (const GlobalName& global : GLOBAL_NAMES) {
        out[n++] = global.position;
    }
    for (int channel = 1; channel <= CHANNEL_COUNT; ++channel) {
        for (int column = 0; column < CHANNEL_COLUMNS; ++column) {
            out[n++] = channel_position(column, channel);
        }
    }
    return n;
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
        tolerance = FIELD_ROUNDING;
        break;
    case VALUE_TENTHS:
        tolerance = FIELD_ROUNDING / 10.0;
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
