#include "settings/assign.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "base/number_text.h"
#include "settings/text_clip.h"

namespace {

using Text = std::string_view;

// Halfway between the largest float and 2^128: any smaller magnitude rounds to a finite float.
constexpr double FLOAT_LIMIT = 0x1.ffffffp+127;
constexpr size_t QUOTE_BYTES = 72;                // the assignment as a message quotes it
constexpr size_t PART_BYTES = ASSIGN_VALUE_BYTES; // a part of it

// The sentence: the assignment quoted, then what is wrong with it.
__attribute__((format(printf, 3, 4))) int refuse(const char* text, char* why, const char* format,
                                                 ...) {
    char quoted[QUOTE_BYTES];
    text_clip_escaped(text, strlen(text), QUOTE_BYTES - 1, quoted, sizeof quoted);
    const int n = snprintf(why, ASSIGN_WHY_BYTES, "\"%s\": ", quoted);
    const size_t at =
        n > 0 && static_cast<size_t>(n) < ASSIGN_WHY_BYTES ? static_cast<size_t>(n) : 0;
    va_list args;
    va_start(args, format);
    vsnprintf(why + at, ASSIGN_WHY_BYTES - at, format, args);
    va_end(args);
    return -1;
}

const char* part(Text t, char out[PART_BYTES]) {
    return text_clip_escaped(t.data(), t.size(), PART_BYTES - 1, out, PART_BYTES);
}

int global_index(Text name) {
    for (int i = 0; i < VALUES_GLOBAL_NAMES; ++i) {
        if (name == values_global_name(i)) {
            return i;
        }
    }
    return -1;
}

int column_index(Text name) {
    for (int column = 0; column < CHANNEL_COLUMNS; ++column) {
        if (name == values_channel_name(column)) {
            return column;
        }
    }
    return -1;
}

enum ChannelRead : int { CHANNEL_OK, CHANNEL_MALFORMED, CHANNEL_OUTSIDE };

// A channel number written in decimal digits, 1 to 24.
ChannelRead channel_number(Text t, int* out) {
    if (t.empty() || t.find_first_not_of("0123456789") != Text::npos) {
        return CHANNEL_MALFORMED;
    }
    unsigned value = 0;
    const std::from_chars_result r = std::from_chars(t.data(), t.data() + t.size(), value);
    if (r.ec != std::errc() || value < 1 || value > CHANNEL_COUNT) {
        return CHANNEL_OUTSIDE;
    }
    *out = static_cast<int>(value);
    return CHANNEL_OK;
}

// The channel numbers SEL picks, in its order, into a->positions.
int parse_selection(Text sel, const char* text, Assignment* a, char* why) {
    char shown[PART_BYTES];
    a->count = 0;
    if (sel == "*") {
        for (int channel = 1; channel <= CHANNEL_COUNT; ++channel) {
            a->positions[a->count++] = channel;
        }
        return 0;
    }
    bool named[CHANNEL_COUNT + 1] = {};
    for (size_t at = 0; at <= sel.size();) {
        const size_t comma = sel.find(',', at);
        const Text item = sel.substr(at, comma == Text::npos ? Text::npos : comma - at);
        const size_t dash = item.find('-');
        const Text ends[2] = {item.substr(0, dash),
                              dash == Text::npos ? item : item.substr(dash + 1)};
        int range[2] = {0, 0};
        for (int i = 0; i < 2; ++i) {
            const ChannelRead read = channel_number(ends[i], &range[i]);
            if (read == CHANNEL_MALFORMED) {
                return refuse(text, why,
                              "\"%s\" is not a channel selection (such as 7, 1-15, 15-1, 1,3,5 "
                              "or *).",
                              part(sel, shown));
            }
            if (read == CHANNEL_OUTSIDE) {
                return refuse(text, why, "channel %s is outside 1-24.", part(ends[i], shown));
            }
        }
        const int direction = range[1] >= range[0] ? 1 : -1;
        for (int channel = range[0];; channel += direction) {
            if (named[channel]) {
                return refuse(text, why, "channel %d is named twice.", channel);
            }
            named[channel] = true;
            a->positions[a->count++] = channel;
            if (channel == range[1]) {
                break;
            }
        }
        at = comma == Text::npos ? sel.size() + 1 : comma + 1;
    }
    return 0;
}

// The names before '=' (after "chSEL." for channel values), separated by commas: into `out`
// their channel columns, or for global values their table positions.
int parse_names(Text list, bool channels, const char* text, int out[CHANNEL_COLUMNS], int* count,
                char* why) {
    char shown[PART_BYTES];
    *count = 0;
    bool named[SETTINGS_COUNT] = {};
    for (size_t at = 0; at <= list.size();) {
        const size_t comma = list.find(',', at);
        const Text name = list.substr(at, comma == Text::npos ? Text::npos : comma - at);
        at = comma == Text::npos ? list.size() + 1 : comma + 1;
        const int global = global_index(name);
        const int column = column_index(name);
        if (channels && column < 0) {
            return global >= 0 ? refuse(text, why, "%s is a global value, not a channel value.",
                                        part(name, shown))
                               : refuse(text, why, "\"%s\" is not the name of a channel value.",
                                        part(name, shown));
        }
        if (!channels && global < 0) {
            return column >= 0
                       ? refuse(text, why,
                                "%s is a channel value: give its channels, as in ch1-24.%s=.",
                                part(name, shown), part(name, shown))
                       : refuse(text, why, "\"%s\" is not the name of a settings value.",
                                part(name, shown));
        }
        const int id = channels ? column : values_global_position(global);
        if (named[id]) {
            return refuse(text, why, "%s is named twice.", part(name, shown));
        }
        named[id] = true;
        if (*count == CHANNEL_COLUMNS) {
            return refuse(text, why, "%s is named twice.", part(name, shown));
        }
        out[(*count)++] = id;
    }
    return 0;
}

// The number at the start of `t`, read as the form reads a typed number (a comma followed by a
// digit separates the fraction as the point does), but with no blank or plus sign before it.
// Returns the characters read, 0 when there is no number, or -1 when it is beyond a double's
// range. A number too small for a double is 0 (keeping its sign), as JSON reads it.
ptrdiff_t read_number(Text t, double* out) {
    if (t.empty() || Text("0123456789-.,").find(t[0]) == Text::npos) {
        return 0;
    }
    const size_t read = num_parse_prefix_narrow(t.data(), t.size(), NUM_COMMA_SEPARATES, out);
    return read > 0 && !std::isfinite(*out) ? -1 : static_cast<ptrdiff_t>(read);
}

enum NumberRead : int { NUMBER_OK, NUMBER_MALFORMED, NUMBER_BEYOND };

// START, then +STEP for a sequence, and nothing after.
NumberRead read_value(Text value, double* start, double* step, bool* sequence) {
    *step = 0.0;
    const ptrdiff_t first = read_number(value, start);
    ptrdiff_t second = 0;
    size_t at = first > 0 ? static_cast<size_t>(first) : 0;
    *sequence = first > 0 && at < value.size() && value[at] == '+';
    if (*sequence) {
        second = read_number(value.substr(at + 1), step);
        at = second > 0 ? at + 1 + static_cast<size_t>(second) : 0;
    }
    if (first < 0 || second < 0) {
        return NUMBER_BEYOND;
    }
    return first == 0 || at != value.size() ? NUMBER_MALFORMED : NUMBER_OK;
}

// VALUE for a value at `position`, given to a->count channels (or to the global value).
int parse_value(Text value, int position, bool channels, const char* text, Assignment* a,
                char* why) {
    char shown[PART_BYTES];
    const char* name = "";
    int channel = 0;
    values_position_name(position, &name, &channel);
    a->step = 0.0;
    a->sequence = false;
    text_clip_escaped(value.data(), value.size(), PART_BYTES - 1, a->value_text,
                      sizeof a->value_text);
    if (settings_value_kind(position) == VALUE_FLAG) {
        if (value != "true" && value != "false") {
            return refuse(text, why, "%s takes true or false, not \"%s\".", name,
                          part(value, shown));
        }
        a->start = value == "true" ? 1.0 : 0.0;
        return 0;
    }
    if (value == "true" || value == "false") {
        return refuse(text, why, "%s is a number, not true or false.", name);
    }
    const NumberRead read = read_value(value, &a->start, &a->step, &a->sequence);
    if (read == NUMBER_BEYOND) {
        return refuse(text, why, "%s is beyond the range of a single-precision value.",
                      part(value, shown));
    }
    if (read == NUMBER_MALFORMED) {
        return refuse(text, why, "\"%s\" is not a number%s.", part(value, shown),
                      channels ? " or a sequence START+STEP" : "");
    }
    if (a->sequence && !channels) {
        return refuse(text, why, "a sequence START+STEP is for channel values only.");
    }
    for (int k = 0; k < a->count; ++k) {
        const double v = a->start + k * a->step;
        if (!(std::fabs(v) < FLOAT_LIMIT)) {
            return k == 0 ? refuse(text, why, "%s is beyond the range of a single-precision value.",
                                   part(value, shown))
                          : refuse(text, why,
                                   "the sequence leaves the range of a single-precision value "
                                   "at channel %d.",
                                   a->positions[k]);
        }
    }
    return 0;
}

} // namespace

int assign_parse(const char* text, Assignment* out, char why[ASSIGN_WHY_BYTES]) {
    why[0] = '\0';
    const Text all(text);
    const size_t equals = all.find('=');
    if (equals == Text::npos) {
        return refuse(text, why, "an assignment is NAME=VALUE or chSEL.NAME=VALUE.");
    }
    const Text left = all.substr(0, equals);
    const Text value = all.substr(equals + 1);
    const size_t dot = left.find('.');
    Assignment a{};
    int names[CHANNEL_COLUMNS] = {};
    int name_count = 0;
    if (left.substr(0, 2) != "ch" || dot == Text::npos) {
        if (left.size() > 2 && left.substr(0, 2) == "ch" &&
            Text("0123456789*").find(left[2]) != Text::npos) {
            return refuse(text, why, "a channel value is given as chSEL.NAME=VALUE.");
        }
        if (parse_names(left, false, text, names, &name_count, why) != 0) {
            return -1;
        }
        a.count = 1;
        a.positions[0] = 1; // one "channel": the global value itself
    } else if (parse_names(left.substr(dot + 1), true, text, names, &name_count, why) != 0 ||
               parse_selection(left.substr(2, dot - 2), text, &a, why) != 0) {
        return -1;
    }
    const bool channels = dot != Text::npos && left.substr(0, 2) == "ch";
    for (int i = 0; i < name_count; ++i) {
        const int position = channels ? channel_position(names[i], 1) : names[i];
        if (parse_value(value, position, channels, text, &a, why) != 0) {
            return -1;
        }
    }
    // The selection's channel numbers become the positions of every name, name after name.
    int selection[CHANNEL_COUNT];
    const int picked = a.count;
    std::copy(a.positions, a.positions + picked, selection);
    a.channels = picked;
    a.count = 0;
    for (int i = 0; i < name_count; ++i) {
        for (int k = 0; k < picked; ++k) {
            a.positions[a.count++] = channels ? channel_position(names[i], selection[k]) : names[i];
        }
    }
    *out = a;
    return 0;
}

size_t assign_value_text(const Assignment* a, int k, char out[ASSIGN_VALUE_BYTES]) {
    if (!a->sequence) {
        const size_t n = strlen(a->value_text);
        memcpy(out, a->value_text, n + 1);
        return n;
    }
    const double v = a->start + (k % a->channels) * a->step;
    const std::to_chars_result r = std::to_chars(out, out + ASSIGN_VALUE_BYTES - 1, v);
    const size_t n = r.ec == std::errc() ? static_cast<size_t>(r.ptr - out) : 0;
    out[n] = '\0';
    return n;
}

void assign_apply(const Assignment* a, SettingsValues* values) {
    for (int k = 0; k < a->count; ++k) {
        const int p = a->positions[k];
        values->table[p] = static_cast<float>(a->start + (k % a->channels) * a->step);
        values->held[p] = true;
    }
}
