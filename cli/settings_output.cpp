#include "cli/settings_output.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Headings of the channel table, two lines each, in the form's column order.
struct ColumnHeading {
    const char* top;
    const char* bottom;
};
constexpr ColumnHeading CHANNEL_HEADINGS[CHANNEL_COLUMNS] = {
    {"on", "delay ms"},  {"on", "start %"},      {"on", "end %"},  {"rise", "ms"},
    {"off", "delay ms"}, {"off", "start %"},     {"off", "end %"}, {"fall", "ms"},
    {"standby", "on"},   {"standby", "level %"},
};

struct GlobalCaption {
    const char* caption;
    int position;
};
constexpr GlobalCaption GLOBAL_CAPTIONS[] = {
    {"sensor 1 minimum, cm", POS_SENSOR1_MIN},
    {"sensor 1 maximum, cm", POS_SENSOR1_MAX},
    {"sensor 2 minimum, cm", POS_SENSOR2_MIN},
    {"sensor 2 maximum, cm", POS_SENSOR2_MAX},
    {"light threshold, %", POS_LIGHT_THRESHOLD},
    {"use light sensor", POS_USE_LIGHT_SENSOR},
    {"off timer, s", POS_OFF_TIMER},
};

std::string value_text(const SettingsValues& values, int position) {
    if (!values.held[position]) {
        return "-";
    }
    char text[VALUES_TEXT_BYTES];
    values_text(position, values.table[position], text);
    return text;
}

// A number in JSON with the digits of its shortest text: whole numbers as integers, others as
// the double those digits read as (which prints back as the same digits). JSON has no NaN or
// infinity, so those stay texts; null is kept for a value the source does not hold.
Json value_json(const SettingsValues& values, int position) {
    if (!values.held[position]) {
        return nullptr;
    }
    const float value = values.table[position];
    if (settings_value_kind(position) == VALUE_FLAG) {
        return value == 1.0f;
    }
    char text[VALUES_TEXT_BYTES];
    values_text(position, value, text);
    if (!std::isfinite(value)) {
        return text; // "nan", "inf", "-inf"
    }
    // The range first: converting a float beyond int64's range is undefined.
    if (value < 9.0e15f && value > -9.0e15f && std::trunc(value) == value &&
        !(value == 0.0f && std::signbit(value))) {
        return static_cast<int64_t>(value);
    }
    return strtod(text, nullptr);
}

std::string pad(const std::string& text, size_t width) {
    // Widths count characters; every text here is ASCII.
    return text.size() < width ? text + std::string(width - text.size(), ' ') : text;
}

std::string difference_name(int position) {
    const char* name = "";
    int channel = 0;
    values_position_name(position, &name, &channel);
    return channel == 0 ? std::string(name) : "channel " + std::to_string(channel) + " " + name;
}

// Positions in the order differences are listed.
std::vector<int> listing_order() {
    int order[VALUES_LISTED];
    const size_t n = values_listing_order(order);
    return std::vector<int>(order, order + n);
}

// A value as given, for a sentence: a flag by its number when it is neither 1 nor 0.
std::string given_text(int position, float value) {
    char text[VALUES_TEXT_BYTES];
    if (settings_value_kind(position) == VALUE_FLAG && value != 0.0f && value != 1.0f) {
        values_number_text(value, text);
    } else {
        values_text(position, value, text);
    }
    return text;
}

} // namespace

Json settings_json(const std::string& source, const SettingsValues& values) {
    Json out;
    out["source"] = source;
    for (int i = 0; i < VALUES_GLOBAL_NAMES; ++i) {
        out[values_global_name(i)] = value_json(values, values_global_position(i));
    }
    Json channels = Json::array();
    for (int channel = 1; channel <= CHANNEL_COUNT; ++channel) {
        Json record;
        record["channel"] = channel;
        for (int column = 0; column < CHANNEL_COLUMNS; ++column) {
            record[values_channel_name(column)] =
                value_json(values, channel_position(column, channel));
        }
        channels.push_back(record);
    }
    out["channels"] = channels;
    return out;
}

std::string settings_json_text(const std::string& source, const SettingsValues& values) {
    return settings_json(source, values).dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string settings_text(const std::string& source, const SettingsValues& values) {
    std::string out = "settings from " + printable(source) + "\n\n";
    for (const GlobalCaption& global : GLOBAL_CAPTIONS) {
        out += pad(global.caption, 24) + value_text(values, global.position) + "\n";
    }
    // The channel table: each column as wide as its widest text, one blank between columns.
    size_t width[CHANNEL_COLUMNS];
    for (int column = 0; column < CHANNEL_COLUMNS; ++column) {
        width[column] =
            std::max(strlen(CHANNEL_HEADINGS[column].top), strlen(CHANNEL_HEADINGS[column].bottom));
        for (int channel = 1; channel <= CHANNEL_COUNT; ++channel) {
            width[column] = std::max(width[column],
                                     value_text(values, channel_position(column, channel)).size());
        }
    }
    std::string top(4, ' ');
    std::string bottom = pad("ch", 4);
    for (int column = 0; column < CHANNEL_COLUMNS; ++column) {
        const bool last = column == CHANNEL_COLUMNS - 1;
        top += last ? CHANNEL_HEADINGS[column].top
                    : pad(CHANNEL_HEADINGS[column].top, width[column] + 1);
        bottom += last ? CHANNEL_HEADINGS[column].bottom
                       : pad(CHANNEL_HEADINGS[column].bottom, width[column] + 1);
    }
    out += "\n" + top + "\n" + bottom + "\n";
    for (int channel = 1; channel <= CHANNEL_COUNT; ++channel) {
        std::string row = pad(std::to_string(channel), 4);
        for (int column = 0; column < CHANNEL_COLUMNS; ++column) {
            const std::string text = value_text(values, channel_position(column, channel));
            row += column == CHANNEL_COLUMNS - 1 ? text : pad(text, width[column] + 1);
        }
        out += row + "\n";
    }
    return out;
}

bool values_equal(const SettingsValues& a, const SettingsValues& b) {
    for (int position : listing_order()) {
        if (values_differ(&a, &b, position)) {
            return false;
        }
    }
    return true;
}

Json differences_json(const SettingsValues& a, const SettingsValues& b) {
    Json list = Json::array();
    for (int position : listing_order()) {
        if (!values_differ(&a, &b, position)) {
            continue;
        }
        const char* name = "";
        int channel = 0;
        values_position_name(position, &name, &channel);
        Json entry;
        entry["name"] = name;
        entry["channel"] = channel == 0 ? Json(nullptr) : Json(channel);
        entry["a"] = value_json(a, position);
        entry["b"] = value_json(b, position);
        list.push_back(entry);
    }
    Json out;
    out["differences"] = list;
    return out;
}

std::string differences_text(const SettingsValues& a, const SettingsValues& b) {
    std::string out;
    for (int position : listing_order()) {
        if (values_differ(&a, &b, position)) {
            out += difference_name(position) + ": " + value_text(a, position) + " -> " +
                   value_text(b, position) + "\n";
        }
    }
    return out;
}

std::string mismatches_text(const ValueMismatch* list, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out += "  " + difference_name(list[i].position) + ": " +
               given_text(list[i].position, list[i].given) + " -> " +
               given_text(list[i].position, list[i].held) + "\n";
    }
    return out;
}

std::string not_finite_text(const SettingsValues& values, size_t* count) {
    std::string out;
    *count = 0;
    for (int position : listing_order()) {
        if (values.held[position] && !std::isfinite(values.table[position]) &&
            settings_value_kind(position) != VALUE_FLAG) {
            out += "  " + difference_name(position) + ": " + value_text(values, position) + "\n";
            ++*count;
        }
    }
    return out;
}

std::string unholdable_text(const ValueMismatch* list, size_t n, const std::string* typed) {
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        const int position = list[i].position;
        std::string holds = "true or false";
        if (settings_value_kind(position) != VALUE_FLAG) {
            const ValueRange range = values_range(position);
            char lowest[VALUES_TEXT_BYTES];
            char highest[VALUES_TEXT_BYTES];
            values_number_text(range.lowest, lowest);
            values_number_text(range.highest, highest);
            holds = std::string(lowest) + " to " + highest + " " + values_unit(position);
        }
        const bool as_typed = typed != nullptr && !typed[position].empty();
        out += "  " + difference_name(position) + ": " +
               (as_typed ? typed[position] : given_text(position, list[i].given)) + " (it holds " +
               holds + ")\n";
    }
    return out;
}
