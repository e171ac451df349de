// The document is read with the JSON library's event parser: it reports each name and value as
// it reads it, and the reader below checks them against the layout as they come. Nothing is
// thrown: a syntax error arrives as an event too, and any refusal ends the parse. A custom
// iterator notes how far the parser has read, so that a refusal can name the line of the name
// it concerns (the position of a name's closing quote is exact; that of a number is not, as the
// parser looks one byte past it, so a value is placed on the line of its name).
#include "settings/settings_json.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "settings/text_clip.h"

namespace {

using Json = nlohmann::json;

constexpr size_t SHOWN_BYTES = 48; // a name, number or text of the document as a message shows it
constexpr size_t PLACE_BYTES = 128;

// What the value the parser brings next belongs to.
enum Target : int {
    TARGET_DOCUMENT, // the document itself: the top object
    TARGET_SOURCE,   // "source": any value, ignored
    TARGET_CHANNELS, // "channels": the array of records
    TARGET_RECORD,   // an element of "channels": a channel record
    TARGET_CHANNEL,  // a record's "channel": its number
    TARGET_VALUE,    // a settings value, at `position`
};

// Nesting: 1 inside the top object, 2 inside "channels", 3 inside a channel record.
constexpr int DEPTH_TOP = 1;
constexpr int DEPTH_CHANNELS = 2;
constexpr int DEPTH_RECORD = 3;

// The reader's state between the parser's events.
struct JsonRead {
    const char* text;          // the document
    const char* reached;       // how far the parser has read, kept up by ReadIterator
    SettingsValues values;     // what has been read
    bool seen[SETTINGS_COUNT]; // positions read
    bool seen_source;          // "source" read
    bool seen_channels;        // "channels" read
    bool seen_channel;         // the open record's "channel" read
    Target target;             // what the next value is for
    int position;              // its table position (TARGET_VALUE)
    int depth;                 // objects and arrays open
    int skip_until;            // inside an ignored value: the depth at which it ends; else 0
    int records;               // channel records begun
    const char* name_at;       // where the last name read ends
    const char* channels_at;   // where the name "channels" ends
    const char* record_at;     // where the open record begins
    char* why;                 // the refusal
};

// What kind of value the parser reported.
enum Found : int { KIND_NULL, KIND_FLAG, KIND_NUMBER, KIND_TEXT, KIND_OBJECT, KIND_ARRAY };
// One value as the parser reports it.
struct Scalar {
    Found kind;
    bool flag;         // KIND_FLAG
    double number;     // KIND_NUMBER: as the library reads it
    float single;      // KIND_NUMBER: the float nearest the number written
    bool beyond;       // KIND_NUMBER: too large for a float
    const char* chars; // the number's or the text's characters
    size_t length;
};

// Hands the document to the parser byte by byte and notes how far it has read.
struct ReadIterator {
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    const char* at;
    const char** reached;

    reference operator*() const { return *at; }
    ReadIterator& operator++() {
        *reached = ++at;
        return *this;
    }
    ReadIterator operator++(int) {
        ReadIterator before = *this;
        ++*this;
        return before;
    }
    bool operator==(const ReadIterator& other) const { return at == other.at; }
    bool operator!=(const ReadIterator& other) const { return at != other.at; }
};

int line_at(const JsonRead* r, const char* at) {
    int line = 1;
    for (const char* p = r->text; p < at; ++p) {
        line += *p == '\n';
    }
    return line;
}

int record_index(const JsonRead* r) {
    return r->records - 1;
}

__attribute__((format(printf, 2, 3))) bool refuse(JsonRead* r, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(r->why, JSON_WHY_BYTES, format, args);
    va_end(args);
    return false;
}

// "channels[2].on_delay_ms (channel 3, line 39)" inside a record, "sensor1_max_cm (line 3)"
// elsewhere; `name` may come from the document.
const char* place(const JsonRead* r, const char* name, size_t length, char out[PLACE_BYTES]) {
    char shown[SHOWN_BYTES];
    text_clip_escaped(name, length, SHOWN_BYTES - 1, shown, sizeof shown);
    const int line = line_at(r, r->name_at);
    if (r->depth >= DEPTH_RECORD) {
        snprintf(out, PLACE_BYTES, "channels[%d].%s (channel %d, line %d)", record_index(r), shown,
                 record_index(r) + 1, line);
    } else {
        snprintf(out, PLACE_BYTES, "%s (line %d)", shown, line);
    }
    return out;
}

const char* place_of(const JsonRead* r, int position, char out[PLACE_BYTES]) {
    const char* name = "";
    int channel = 0;
    values_position_name(position, &name, &channel);
    return place(r, name, strlen(name), out);
}

// How a message shows a value: its number or text as written, or what it is.
const char* shown(const Scalar* v, char out[SHOWN_BYTES]) {
    static constexpr const char* WORDS[] = {"null", "", "", "", "an object", "an array"};
    if (v->kind == KIND_FLAG) {
        return v->flag ? "true" : "false";
    }
    if (v->kind == KIND_NUMBER) {
        return text_clip_escaped(v->chars, v->length, SHOWN_BYTES - 1, out, SHOWN_BYTES);
    }
    if (v->kind == KIND_TEXT) {
        char text[SHOWN_BYTES - 12]; // room for the words around it
        text_clip_escaped(v->chars, v->length, sizeof text - 1, text, sizeof text);
        snprintf(out, SHOWN_BYTES, "the text \"%s\"", text);
        return out;
    }
    return WORDS[v->kind];
}

bool is_word(const Scalar* v, const char* word) {
    return v->length == strlen(word) && memcmp(v->chars, word, v->length) == 0;
}

bool take_value(JsonRead* r, const Scalar* v) {
    const int p = r->position;
    char where[PLACE_BYTES];
    char value[SHOWN_BYTES];
    if (settings_value_kind(p) == VALUE_FLAG) {
        if (v->kind == KIND_NULL && p == SETTINGS_FILE_UNSTORED) {
            return true; // not held, as in a .lv24 file
        }
        if (v->kind != KIND_FLAG) {
            return refuse(r, "%s must be true or false, not %s.", place_of(r, p, where),
                          shown(v, value));
        }
        r->values.table[p] = v->flag ? 1.0f : 0.0f;
        r->values.held[p] = true;
        return true;
    }
    if (v->kind == KIND_TEXT && (is_word(v, "nan") || is_word(v, "inf") || is_word(v, "-inf"))) {
        char text[SHOWN_BYTES];
        return refuse(r, "%s is %s, not a finite number.", place_of(r, p, where),
                      text_clip_escaped(v->chars, v->length, SHOWN_BYTES - 1, text, sizeof text));
    }
    if (v->kind != KIND_NUMBER) {
        return refuse(r, "%s must be a number, not %s.", place_of(r, p, where), shown(v, value));
    }
    if (v->beyond) {
        return refuse(r, "%s is %s, beyond the range of a single-precision value.",
                      place_of(r, p, where), shown(v, value));
    }
    r->values.table[p] = v->single;
    r->values.held[p] = true;
    return true;
}

bool take_scalar(JsonRead* r, const Scalar* v) {
    char where[PLACE_BYTES];
    char value[SHOWN_BYTES];
    switch (r->target) {
    case TARGET_DOCUMENT:
        return refuse(r, "The document must be an object of settings names, not %s (line %d).",
                      shown(v, value), line_at(r, r->reached));
    case TARGET_SOURCE:
        return true;
    case TARGET_CHANNELS:
        return refuse(r, "%s must be an array of %d channel records, not %s.",
                      place(r, "channels", 8, where), CHANNEL_COUNT, shown(v, value));
    case TARGET_RECORD:
        return refuse(r, "channels[%d] (line %d) must be a channel record, not %s.", r->records,
                      line_at(r, r->reached), shown(v, value));
    case TARGET_CHANNEL:
        if (v->kind != KIND_NUMBER || v->number != record_index(r) + 1) {
            return refuse(r, "%s must be %d, not %s: the records stand in channel order.",
                          place(r, "channel", 7, where), record_index(r) + 1, shown(v, value));
        }
        return true;
    case TARGET_VALUE:
        return take_value(r, v);
    }
    return false;
}

bool twice(JsonRead* r, const std::string& name) {
    char where[PLACE_BYTES];
    return refuse(r, "%s is named twice.", place(r, name.data(), name.size(), where));
}

bool unknown(JsonRead* r, const std::string& name) {
    char where[PLACE_BYTES];
    return refuse(r, "%s is not a settings name.", place(r, name.data(), name.size(), where));
}

bool take_value_name(JsonRead* r, const std::string& name, int position) {
    if (r->seen[position]) {
        return twice(r, name);
    }
    r->seen[position] = true;
    r->target = TARGET_VALUE;
    r->position = position;
    return true;
}

bool take_top_name(JsonRead* r, const std::string& name) {
    if (name == "source" || name == "channels") {
        bool* seen = name == "source" ? &r->seen_source : &r->seen_channels;
        if (*seen) {
            return twice(r, name);
        }
        *seen = true;
        r->target = name == "source" ? TARGET_SOURCE : TARGET_CHANNELS;
        r->channels_at = name == "channels" ? r->name_at : r->channels_at;
        return true;
    }
    for (int i = 0; i < VALUES_GLOBAL_NAMES; ++i) {
        if (name == values_global_name(i)) {
            return take_value_name(r, name, values_global_position(i));
        }
    }
    return unknown(r, name);
}

bool take_record_name(JsonRead* r, const std::string& name) {
    if (name == "channel") {
        if (r->seen_channel) {
            return twice(r, name);
        }
        r->seen_channel = true;
        r->target = TARGET_CHANNEL;
        return true;
    }
    for (int column = 0; column < CHANNEL_COLUMNS; ++column) {
        if (name == values_channel_name(column)) {
            return take_value_name(r, name, channel_position(column, record_index(r) + 1));
        }
    }
    return unknown(r, name);
}

bool take_name(JsonRead* r, const std::string& name) {
    if (r->skip_until > 0) {
        return true;
    }
    r->name_at = r->reached;
    return r->depth == DEPTH_TOP ? take_top_name(r, name) : take_record_name(r, name);
}

// An object or an array begins: the document, "channels", a record, or part of an ignored value.
bool open_value(JsonRead* r, bool array) {
    if (r->skip_until > 0 || r->target == TARGET_SOURCE) {
        r->skip_until = r->skip_until > 0 ? r->skip_until : r->depth;
        ++r->depth;
        return true;
    }
    bool fits = false;
    if (r->target == TARGET_CHANNELS) {
        fits = array;
    } else if (r->target == TARGET_DOCUMENT || r->target == TARGET_RECORD) {
        fits = !array;
    }
    if (!fits) {
        const Scalar v = {array ? KIND_ARRAY : KIND_OBJECT, false, 0.0, 0.0f, false, nullptr, 0};
        return take_scalar(r, &v);
    }
    if (r->target == TARGET_CHANNELS) {
        r->target = TARGET_RECORD;
    } else if (r->target == TARGET_RECORD) {
        if (r->records == CHANNEL_COUNT) {
            return refuse(r, "channels (line %d) holds more than %d channel records.",
                          line_at(r, r->channels_at), CHANNEL_COUNT);
        }
        ++r->records;
        r->record_at = r->reached;
        r->seen_channel = false;
    }
    ++r->depth;
    return true;
}

// The end of a record: its number and every value there but the last channel's standby flag.
bool close_record(JsonRead* r) {
    const int k = record_index(r);
    const char* missing = r->seen_channel ? nullptr : "channel";
    for (int column = 0; column < CHANNEL_COLUMNS && missing == nullptr; ++column) {
        const int p = channel_position(column, k + 1);
        missing = r->seen[p] || p == SETTINGS_FILE_UNSTORED ? nullptr : values_channel_name(column);
    }
    if (missing != nullptr) {
        return refuse(r, "channels[%d].%s (channel %d) is missing from the record at line %d.", k,
                      missing, k + 1, line_at(r, r->record_at));
    }
    r->target = TARGET_RECORD;
    return true;
}

bool close_top(JsonRead* r) {
    for (int i = 0; i < VALUES_GLOBAL_NAMES; ++i) {
        if (!r->seen[values_global_position(i)]) {
            return refuse(r, "%s is missing from the document.", values_global_name(i));
        }
    }
    if (!r->seen_channels) {
        return refuse(r, "channels is missing from the document.");
    }
    return true;
}

// An object or an array ends.
bool close_value(JsonRead* r) {
    --r->depth;
    if (r->skip_until > 0) {
        r->skip_until = r->depth == r->skip_until ? 0 : r->skip_until;
        return true;
    }
    if (r->depth == DEPTH_CHANNELS) {
        return close_record(r);
    }
    if (r->depth == DEPTH_TOP && r->records != CHANNEL_COUNT) {
        return refuse(r, "channels (line %d) holds %d channel records, not %d.",
                      line_at(r, r->channels_at), r->records, CHANNEL_COUNT);
    }
    return r->depth == 0 ? close_top(r) : true;
}

bool syntax_error(JsonRead* r, const std::string& token, const nlohmann::detail::exception& ex) {
    char text[SHOWN_BYTES];
    char where[PLACE_BYTES];
    text_clip_escaped(token.data(), token.size(), SHOWN_BYTES - 1, text, sizeof text);
    if (ex.id == 406) { // a number beyond the range of a double
        if (r->target == TARGET_VALUE && r->skip_until == 0) {
            return refuse(r, "%s is %s, beyond the range of a single-precision value.",
                          place_of(r, r->position, where), text);
        }
        return refuse(r, "The number %s (line %d) is beyond any range.", text,
                      line_at(r, r->reached));
    }
    // The library's own account names the line and column: "[json.exception.parse_error.101]
    // parse error at line 3, column 5: syntax error while parsing value - ...".
    const char* what = ex.what();
    const char* account = strstr(what, "] ");
    account = account != nullptr ? account + 2 : what;
    char said[JSON_WHY_BYTES];
    text_clip_escaped(account, strlen(account), JSON_WHY_BYTES - 40, said, sizeof said);
    return refuse(r, "Not a valid JSON document: %s.", said);
}

// The parser's events, handed to the reader.
struct JsonEvents {
    JsonRead* r;

    bool scalar(const Scalar& v) { return r->skip_until > 0 || take_scalar(r, &v); }
    bool null() { return scalar({KIND_NULL, false, 0.0, 0.0f, false, nullptr, 0}); }
    bool boolean(bool value) { return scalar({KIND_FLAG, value, 0.0, 0.0f, false, nullptr, 0}); }
    // A whole number goes to the nearest float at once (a double would round it first).
    template <typename Whole> bool whole_number(Whole value) {
        char digits[24];
        const std::to_chars_result written = std::to_chars(digits, digits + sizeof digits, value);
        return scalar({KIND_NUMBER, false, static_cast<double>(value), static_cast<float>(value),
                       false, digits, static_cast<size_t>(written.ptr - digits)});
    }
    bool number_integer(Json::number_integer_t value) { return whole_number(value); }
    bool number_unsigned(Json::number_unsigned_t value) { return whole_number(value); }
    // Another number is read from its text straight to a float. Only a number too small for a
    // float (which rounds to 0) or too large for it is out of range there.
    bool number_float(Json::number_float_t value, const std::string& chars) {
        float single = 0.0f;
        const std::from_chars_result read =
            std::from_chars(chars.data(), chars.data() + chars.size(), single);
        const bool tiny = read.ec == std::errc::result_out_of_range && std::fabs(value) < 1.0;
        const bool beyond = read.ec != std::errc() && !tiny;
        return scalar({KIND_NUMBER, false, value, tiny ? static_cast<float>(value) : single, beyond,
                       chars.data(), chars.size()});
    }
    bool string(std::string& value) {
        return scalar({KIND_TEXT, false, 0.0, 0.0f, false, value.data(), value.size()});
    }
    bool binary(Json::binary_t&) { return false; } // not in JSON text
    bool start_object(std::size_t) { return open_value(r, false); }
    bool key(std::string& name) { return take_name(r, name); }
    bool end_object() { return close_value(r); }
    bool start_array(std::size_t) { return open_value(r, true); }
    bool end_array() { return close_value(r); }
    bool parse_error(std::size_t, const std::string& token, const nlohmann::detail::exception& ex) {
        return syntax_error(r, token, ex);
    }
};

} // namespace

int values_from_json(const char* text, size_t n, SettingsValues* out, char why[JSON_WHY_BYTES]) {
    JsonRead read_state{}; // nothing read, nothing held
    JsonRead* r = &read_state;
    why[0] = '\0';
    r->text = text;
    r->reached = text;
    r->name_at = text;
    r->channels_at = text;
    r->record_at = text;
    r->why = why;
    JsonEvents events = {r};
    const ReadIterator first = {text, &r->reached};
    const ReadIterator last = {text + n, &r->reached};
    const bool read = Json::sax_parse(first, last, &events);
    if (read) {
        *out = r->values;
    } else if (why[0] == '\0') {
        snprintf(why, JSON_WHY_BYTES, "The document could not be read.");
    }
    return read ? 0 : -1;
}
