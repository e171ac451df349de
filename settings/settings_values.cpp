#include "settings/settings_values.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "base/text_line.h"
#include "link/wire_image.h"
#include "settings/form_text.h"

namespace {

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

const char* values_channel_name(int column) {
    return column >= 0 && column < CHANNEL_COLUMNS ? ChannelRows[column].name : "";
}

bool values_position_name(int position, const char** name, int* channel) {
    const SettingRow* row = setting_row(position);
    if (row == nullptr || row->name == nullptr) {
        return false;
    }
    *name = row->name;
    *channel = setting_channel(position);
    return true;
}

const char* values_unit(int position) {
    const SettingRow* row = setting_row(position);
    return row != nullptr && row->name != nullptr ? row->unit : "";
}

void values_from_file(const uint8_t image[SETTINGS_FILE_IMAGE_BYTES], SettingsValues* out) {
    clear(out, true);
    settings_image_unpack(image, out->table);
    out->held[SETTINGS_FILE_UNSTORED] = false;
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
        char16_t text[TEXT_LINE_UNITS];
        form_value_text(text, TEXT_LINE_UNITS, p, out->table[p], SHOW_CONTROLLER);
        const float shown = form_text_value(text);
        // A value below 0 that the form rounds to "-0" keeps its own digits: -0 would read as 0
        // (a raw light threshold a little above the sensor's full scale is below 0 %).
        if (!(shown == 0.0f && out->table[p] < 0.0f)) {
            out->table[p] = shown;
        }
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
