// The range check goes through values_unholdable, the command-line tool's own: a value is
// refused when packing it would not bring it back within its field's rounding and its range,
// so the window and the tool refuse the same values, and every value either lets through packs
// into exactly the bytes it always did.
#include "settings/form_check.h"

#include <cstring>
#include <string>

#include "base/number_text.h"
#include "settings/settings_hold.h"

namespace {

// A line under construction: appends while there is room, always terminated.
struct Line {
    char16_t* out;
    size_t cap; // with the terminator
    size_t used;
};

void line_put(Line* line, const char16_t* text, size_t n) {
    for (size_t i = 0; i < n && line->used + 1 < line->cap; ++i) {
        line->out[line->used++] = text[i];
    }
    if (line->cap != 0) {
        line->out[line->used] = 0;
    }
}

void line_put(Line* line, const char16_t* text) {
    line_put(line, text, std::char_traits<char16_t>::length(text));
}

// A number as the log's prose writes it, with a decimal comma.
size_t prose_number(char16_t* out, size_t cap, double value, int decimals) {
    const size_t n = num_format_fixed(out, cap, value, decimals);
    for (size_t i = 0; i < n; ++i) {
        if (out[i] == u'.') {
            out[i] = u',';
        }
    }
    return n;
}

// A range's end as the log shows it: a tenth only where it has one ("0…6553,5").
int bound_decimals(float bound) {
    return bound == static_cast<float>(static_cast<int64_t>(bound)) ? 0 : 1;
}

bool is_blank(char16_t unit) {
    return unit == u' ' || (unit >= u'\t' && unit <= u'\r');
}

// The text without the blanks around it: its first unit and its length.
const char16_t* trimmed(const char16_t* text, size_t* length) {
    if (text == nullptr) {
        *length = 0;
        return u"";
    }
    while (is_blank(*text)) {
        ++text;
    }
    size_t n = std::char_traits<char16_t>::length(text);
    while (n > 0 && is_blank(text[n - 1])) {
        --n;
    }
    *length = n;
    return text;
}

// Appends at most `room` units of a text, its end replaced by "…" when it is longer, never
// parting the two halves of a surrogate pair; control characters show as '?'.
void line_put_clipped(Line* line, const char16_t* text, size_t n, size_t room) {
    if (room == 0) {
        return;
    }
    size_t keep = n;
    if (n > room) {
        keep = room - 1;
        if (keep > 0 && text[keep - 1] >= 0xD800 && text[keep - 1] <= 0xDBFF) {
            --keep;
        }
    }
    for (size_t i = 0; i < keep; ++i) {
        const char16_t unit = text[i] < 0x20 ? u'?' : text[i];
        line_put(line, &unit, 1);
    }
    if (keep < n) {
        line_put(line, u"…");
    }
}

} // namespace

FormFaults form_check(const FormGathered* form, FormCheckFor target) {
    bool beyond[SETTINGS_COUNT] = {};
    int order[VALUES_LISTED];
    const size_t listed = values_listing_order(order);
    if (target == CHECK_FOR_CONTROLLER) {
        SettingsValues numbers{};
        for (size_t i = 0; i < listed; ++i) {
            const int p = order[i];
            numbers.table[p] = form->values[p];
            numbers.held[p] = form->kinds[p] == TEXT_NUMBER;
        }
        ValueMismatch found[VALUES_LISTED];
        const size_t n = values_unholdable(&numbers, found, VALUES_LISTED);
        for (size_t i = 0; i < n && i < VALUES_LISTED; ++i) {
            beyond[found[i].position] = true;
        }
    }
    FormFaults faults{0, -1, FIELD_EMPTY};
    for (size_t i = 0; i < listed; ++i) {
        const int p = order[i];
        FieldFault fault = FIELD_OUT_OF_RANGE;
        if (form->kinds[p] == TEXT_EMPTY) {
            fault = FIELD_EMPTY;
        } else if (form->kinds[p] != TEXT_NUMBER) {
            fault = FIELD_NOT_A_NUMBER;
        } else if (!beyond[p]) {
            continue;
        }
        if (faults.count++ == 0) {
            faults.first = p;
            faults.fault = fault;
        }
    }
    return faults;
}

size_t form_field_name(char16_t* out, size_t cap, int position) {
    Line line{out, cap, 0};
    line_put(&line, u"");
    const SettingRow* row = setting_row(position);
    if (row == nullptr) {
        return 0;
    }
    const int channel = setting_channel(position);
    if (channel != 0) {
        char16_t number[12];
        num_format_int(number, 12, channel);
        line_put(&line, SETTING_CHANNEL_ROW_CAPTION);
        line_put(&line, u" ");
        line_put(&line, number);
    } else if (row->column_caption == nullptr) {
        line_put(&line, u"«");
        line_put(&line, row->row_caption);
        line_put(&line, u"»");
        return line.used;
    } else {
        line_put(&line, row->row_caption);
    }
    line_put(&line, u", «");
    line_put(&line, row->column_caption);
    line_put(&line, u"»");
    return line.used;
}

size_t form_fault_line(char16_t* out, size_t cap, FormCheckFor target, const FormFaults* faults,
                       const char16_t* text) {
    const int p = faults->first;
    // Everything but the field's text first, to know the room left for it.
    char16_t name[TEXT_LINE_UNITS];
    form_field_name(name, TEXT_LINE_UNITS, p);
    char16_t after[TEXT_LINE_UNITS]; // what follows the text
    Line tail{after, TEXT_LINE_UNITS, 0};
    line_put(&tail, u"");
    if (faults->fault == FIELD_NOT_A_NUMBER) {
        line_put(&tail, u"» — не число");
    } else if (faults->fault == FIELD_OUT_OF_RANGE) {
        const ValueRange range = values_range(p);
        char16_t bound[TEXT_LINE_UNITS];
        line_put(&tail, u" — допустимо ");
        line_put(&tail, bound,
                 prose_number(bound, TEXT_LINE_UNITS, range.lowest, bound_decimals(range.lowest)));
        line_put(&tail, u"…");
        line_put(
            &tail, bound,
            prose_number(bound, TEXT_LINE_UNITS, range.highest, bound_decimals(range.highest)));
    }
    if (faults->count > 1) {
        char16_t others[12];
        num_format_int(others, 12, static_cast<int32_t>(faults->count - 1));
        line_put(&tail, u"; ещё ошибок: ");
        line_put(&tail, others);
    }
    line_put(&tail, u".\r\n");

    Line line{out, cap, 0};
    line_put(&line, target == CHECK_FOR_CONTROLLER ? u"Не записано: " : u"Файл не записан: ");
    line_put(&line, name);
    line_put(&line, u": ");
    const size_t fixed = line.used + tail.used + (faults->fault == FIELD_NOT_A_NUMBER ? 1 : 0);
    const size_t room = cap > fixed + 1 ? cap - 1 - fixed : 0;
    size_t n = 0;
    const char16_t* shown = trimmed(text, &n);
    if (faults->fault == FIELD_EMPTY) {
        line_put(&line, u"пустое поле");
    } else if (faults->fault == FIELD_NOT_A_NUMBER) {
        line_put(&line, u"«");
        line_put_clipped(&line, shown, n, room);
    } else {
        line_put_clipped(&line, shown, n, room);
    }
    line_put(&line, after, tail.used);
    return line.used;
}
