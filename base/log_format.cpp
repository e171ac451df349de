#include "base/log_format.h"

#include "base/number_text.h"

namespace {

constexpr char16_t CUT_MARK = u'\u2026'; // "…" where a cut argument ends

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

// Writes `pattern` with its first "%<conversion>" replaced by `argument`, cut to `cap` units with
// the terminator: the argument gives way first (its last unit kept becomes "…"), then the
// pattern's own text, but never the line break the pattern ends with.
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
    size_t argument_units = mark < pattern_units ? text_units(argument) : 0;
    size_t length = 0;
    if (before + after <= room) {
        const bool cut = before + argument_units + after > room;
        if (cut) {
            argument_units = room - before - after;
        }
        put_units(out, &length, pattern, before);
        put_units(out, &length, argument, argument_units);
        if (cut && argument_units > 0) {
            out[length - 1] = CUT_MARK;
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
