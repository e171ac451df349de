#include "cli/output.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/text_cp1251.h"
#include "cli/console.h"
#include "link/clock.h"

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

void out_text(const std::string& text) {
    console_write(CONSOLE_OUT, text.data(), text.size());
}

void out_json(const Json& value) {
    out_text(value.dump(2, ' ', false, Json::error_handler_t::replace) + "\n");
}

void out_json_line(const Json& value) {
    out_text(value.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n");
}

void err_line(const std::string& sentence) {
    const std::string line = sentence + "\n";
    console_write(CONSOLE_ERR, line.data(), line.size());
}

namespace {
bool output_quiet = false;          // -q: notes are not shown
int64_t trace_start_ms = INT64_MIN; // the clock at the first frame shown
} // namespace

void note_line(const std::string& sentence) {
    if (!output_quiet) {
        err_line(sentence);
    }
}

void out_set_quiet(bool quiet) {
    output_quiet = quiet;
}

void out_trace(const char* port, bool sent, const uint8_t* bytes, size_t n) {
    const int64_t now = clock_now_ms();
    if (trace_start_ms == INT64_MIN) {
        trace_start_ms = now;
    }
    const int64_t ms = now - trace_start_ms;
    char head[64];
    snprintf(head, sizeof head, "%4lld.%03lld ", static_cast<long long>(ms / 1000),
             static_cast<long long>(ms % 1000));
    std::string line = head + std::string(port) + (sent ? " >>" : " <<");
    static const char HEX[] = "0123456789ABCDEF";
    for (size_t i = 0; i < n; ++i) {
        line += ' ';
        line += HEX[bytes[i] >> 4];
        line += HEX[bytes[i] & 0x0F];
    }
    err_line(n == 0 ? line + " (nothing)" : line);
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
    out["valid"] = true;
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

Json invalid_status_json(const std::string& port) {
    Json out;
    out["port"] = port;
    out["valid"] = false;
    return out;
}

std::string invalid_status_text() {
    return "no valid reading: the answer held no status frame";
}

void ranges_add(DistanceRanges* ranges, const StatusReadings& readings) {
    const ReadingTexts texts = reading_texts(readings);
    for (int i = 0; i < 2; ++i) {
        if (texts.distance[i].empty()) {
            continue;
        }
        const long long cm = strtoll(texts.distance[i].c_str(), nullptr, 10);
        if (!ranges->seen[i]) {
            ranges->seen[i] = true;
            ranges->low[i] = ranges->high[i] = cm;
        }
        ranges->low[i] = std::min(ranges->low[i], cm);
        ranges->high[i] = std::max(ranges->high[i], cm);
    }
}

std::string ranges_text(const DistanceRanges& ranges) {
    std::string out;
    for (int i = 0; i < 2; ++i) {
        out += (i == 0 ? "" : "   ") + std::string("distance ") + std::to_string(i + 1) +
               " seen: " +
               (ranges.seen[i]
                    ? std::to_string(ranges.low[i]) + "-" + std::to_string(ranges.high[i]) + " cm"
                    : std::string("none"));
    }
    return out;
}

std::string watch_line_text(const StatusReadings* readings, const DistanceRanges& ranges) {
    if (readings == nullptr) {
        return "no valid reading   " + ranges_text(ranges);
    }
    const ReadingTexts texts = reading_texts(*readings);
    std::string out;
    for (int i = 0; i < 2; ++i) {
        out += "distance " + std::to_string(i + 1) + ": " +
               (texts.distance[i].empty() ? std::string("not working") : texts.distance[i] + " cm");
        if (ranges.seen[i]) {
            out +=
                " (" + std::to_string(ranges.low[i]) + "-" + std::to_string(ranges.high[i]) + ")";
        }
        out += "  ";
    }
    return out + "light: " + texts.illuminance + " %";
}
