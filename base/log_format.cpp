#include "base/log_format.h"

#include "base/number_text.h"

namespace {

constexpr char16_t CUT_MARK = u'\u2026'; // "…" in place of a cut argument's middle

size_t text_units(const char16_t* text) {
    size_t n = 0;
    while (text[n] != 0) {
        ++n;
    }
    return n;
}

// Appends the first `count` units of `text` to `out` at `*length`.
void put_units(char16_t* out, size_t* length, const char16_t* text, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        out[(*length)++] = text[i];
    }
}

bool is_separator(char16_t unit) {
    return unit == u'\\' || unit == u'/';
}

// The two pieces of an argument of `units` units that stand for it in `keep` units (1 <= keep <
// units): its first `*head` units, the mark, its last `*end` units. A path keeps its last part
// (from the last separator) whole and, before the mark, as many whole parts from its start as
// fit: the drive and the file name stay. When its last part does not leave room for the first
// one, the argument keeps its start and its end in halves. Neither piece ends in the middle of
// a surrogate pair.
void middle_cut(const char16_t* argument, size_t units, size_t keep, size_t* head, size_t* end) {
    size_t last = units;
    while (last > 0 && !is_separator(argument[last - 1])) {
        --last;
    }
    *head = 0;
    *end = 0;
    if (last > 0) {
        const size_t tail = units - (last - 1); // the last separator and the name after it
        for (size_t i = 0; i + 1 < last; ++i) {
            if (is_separator(argument[i]) && i + 1 + 1 + tail <= keep) {
                *head = i + 1;
            }
        }
        if (*head > 0) {
            *end = tail;
            return;
        }
    }
    *end = (keep - 1) / 2;
    *head = keep - 1 - *end;
    if (*head > 0 && argument[*head - 1] >= 0xD800 && argument[*head - 1] <= 0xDBFF) {
        --*head;
    }
    if (*end > 0 && argument[units - *end] >= 0xDC00 && argument[units - *end] <= 0xDFFF) {
        --*end;
    }
}

// Writes `pattern` with its first "%<conversion>" replaced by `argument`, cut to `cap` units with
// the terminator: the argument gives way first (its middle becomes "…"), then the pattern's own
// text, but never the line break the pattern ends with.
size_t line_format(char16_t* out, size_t cap, const char16_t* pattern, char16_t conversion,
                   const char16_t* argument) {
    if (cap == 0) {
        return 0;
    }
    const size_t room = cap - 1;
    const size_t pattern_units = text_units(pattern);
    size_t mark = pattern_units; // where the conversion stands; pattern_units when there is none
    for (size_t i = 0; i + 1 < pattern_units; ++i) {
        if (pattern[i] == u'%' && pattern[i + 1] == conversion) {
            mark = i;
            break;
        }
    }
    const size_t before = mark;
    const char16_t* tail = mark < pattern_units ? pattern + mark + 2 : pattern + pattern_units;
    const size_t after = text_units(tail);
    const size_t argument_units = mark < pattern_units ? text_units(argument) : 0;
    size_t length = 0;
    if (before + after <= room) {
        put_units(out, &length, pattern, before);
        const size_t keep = room - before - after;
        if (argument_units <= keep) {
            put_units(out, &length, argument, argument_units);
        } else if (keep > 0) {
            size_t head = 0;
            size_t end = 0;
            middle_cut(argument, argument_units, keep, &head, &end);
            put_units(out, &length, argument, head);
            out[length++] = CUT_MARK;
            put_units(out, &length, argument + argument_units - end, end);
        }
        put_units(out, &length, tail, after);
        out[length] = 0;
        return length;
    }
    // Not even the pattern's own text fits: it is cut, the argument left out, the break kept.
    const size_t fixed = before + after;
    auto fixed_at = [&](size_t i) { return i < before ? pattern[i] : tail[i - before]; };
    const bool line_break =
        room >= 2 && fixed_at(fixed - 2) == u'\r' && fixed_at(fixed - 1) == u'\n';
    const size_t keep = room - (line_break ? 2 : 0);
    for (size_t i = 0; i < keep; ++i) {
        out[length++] = fixed_at(i);
    }
    if (line_break) {
        put_units(out, &length, u"\r\n", 2);
    }
    out[length] = 0;
    return length;
}

} // namespace

size_t log_format(char16_t* out, size_t cap, const char16_t* pattern, const char16_t* text_arg) {
    return line_format(out, cap, pattern, u's', text_arg != nullptr ? text_arg : u"");
}

size_t log_format_int(char16_t* out, size_t cap, const char16_t* pattern, int32_t value) {
    char16_t number[16];
    num_format_int(number, 16, value);
    return line_format(out, cap, pattern, u'd', number);
}
