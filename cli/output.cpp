#include "cli/output.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/text_cp1251.h"
#include "cli/platform.h"

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

void append_utf8(std::string* out, char32_t c) {
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (c >> 6)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xE0 | (c >> 12)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::string utf8_of(const char16_t* text) {
    std::string out;
    for (; *text != 0; ++text) {
        append_utf8(&out, *text); // the texts here hold no surrogates
    }
    return out;
}

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
    if (!(value == value) || value - value != 0.0f) {
        return text; // "nan", "inf", "-inf"
    }
    // The range first: a float beyond int64_t's range has no conversion to it.
    if (value < 9.0e15f && value > -9.0e15f &&
        value == static_cast<float>(static_cast<int64_t>(value)) &&
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
    std::vector<int> order;
    for (int i = 0; i < VALUES_GLOBAL_NAMES; ++i) {
        order.push_back(values_global_position(i));
    }
    for (int channel = 1; channel <= CHANNEL_COUNT; ++channel) {
        for (int column = 0; column < CHANNEL_COLUMNS; ++column) {
            order.push_back(channel_position(column, channel));
        }
    }
    return order;
}

} // namespace

void out_text(const std::string& text) {
    platform_write(PLATFORM_OUT, text.data(), text.size());
}

void out_json(const Json& value) {
    out_text(value.dump(2, ' ', false, Json::error_handler_t::replace) + "\n");
}

void out_json_line(const Json& value) {
    out_text(value.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n");
}

void err_line(const std::string& sentence) {
    const std::string line = sentence + "\n";
    platform_write(PLATFORM_ERR, line.data(), line.size());
}

std::string text_from_controller(const char* text) {
    std::vector<char16_t> wide(strlen(text) + 1);
    cp1251_to_utf16_n(wide.data(), wide.size(), text);
    return utf8_of(wide.data());
}

std::string printable(const std::string& utf8) {
    std::string out = utf8;
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return out;
}

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

namespace {

struct ReadingTexts {
    std::string illuminance; // "%3.1f" as the window shows it
    std::string distance[2]; // whole centimetres; empty where the sensor gives no distance
};

ReadingTexts reading_texts(const StatusReadings& readings) {
    char16_t texts[3][STATUS_TEXT_UNITS];
    status_reading_texts(&readings, texts[0], texts[1], texts[2]);
    ReadingTexts out;
    out.illuminance = utf8_of(texts[0]);
    for (int i = 0; i < 2; ++i) {
        // The window shows "Не работает" for a failed sensor and for a distance that is no
        // number; every other text is a whole number.
        const bool number =
            texts[i + 1][0] == u'-' || (texts[i + 1][0] >= u'0' && texts[i + 1][0] <= u'9');
        out.distance[i] = number ? utf8_of(texts[i + 1]) : "";
    }
    return out;
}

} // namespace

Json status_json(const std::string& port, const StatusReadings& readings) {
    const ReadingTexts texts = reading_texts(readings);
    Json out;
    out["port"] = port;
    for (int i = 0; i < 2; ++i) {
        out[i == 0 ? "distance1_cm" : "distance2_cm"] =
            texts.distance[i].empty() ? Json(nullptr)
                                      : Json(strtoll(texts.distance[i].c_str(), nullptr, 10));
    }
    out["illuminance_percent"] = strtod(texts.illuminance.c_str(), nullptr);
    out["sensor1_fault"] = (readings.fault_bits & 1) != 0;
    out["sensor2_fault"] = (readings.fault_bits & 2) != 0;
    return out;
}

std::string status_text(const StatusReadings& readings) {
    const ReadingTexts texts = reading_texts(readings);
    std::string out;
    for (int i = 0; i < 2; ++i) {
        out +=
            "distance " + std::to_string(i + 1) + ": " +
            (texts.distance[i].empty() ? std::string("not working") : texts.distance[i] + " cm") +
            "   ";
    }
    return out + "illuminance: " + texts.illuminance + " %";
}
