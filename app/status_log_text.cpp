#include "app/status_log_text.h"

#include "settings/number_text.h"

size_t status_log_append(char16_t* log, size_t log_bytes, const char16_t* text) {
    size_t units = log_bytes / 2; // whole code units in the buffer
    if (units == 0) {
        return 0;
    }
    size_t current = 0;
    while (current < units && log[current] != 0) {
        ++current;
    }
    size_t added = 0;
    while (text[added] != 0 && added < units) {
        ++added; // counting stops once the line alone could not fit
    }
    if (current >= units || (current + added) * 2 + 2 >= log_bytes) {
        current = 0; // the line replaces the log
    }
    size_t room = units - 1 - current; // units left before the terminator's place
    if (added > room) {
        added = room;
    }
    for (size_t i = 0; i < added; ++i) {
        log[current + i] = text[i];
    }
    log[current + added] = 0;
    return current + added;
}

namespace {

struct LineWriter {
    char16_t* out;
    size_t cap;
    size_t length;
};

void line_put(LineWriter* writer, const char16_t* text, size_t count) {
    for (size_t i = 0; i < count && text[i] != 0; ++i) {
        if (writer->length + 1 >= writer->cap) {
            return;
        }
        writer->out[writer->length++] = text[i];
    }
}

// Writes `pattern` with its first "%<conversion>" replaced by `argument`.
size_t line_format(char16_t* out, size_t cap, const char16_t* pattern, char16_t conversion,
                   const char16_t* argument) {
    if (cap == 0) {
        return 0;
    }
    LineWriter writer{out, cap, 0};
    bool replaced = false;
    for (const char16_t* at = pattern; *at != 0; ++at) {
        if (!replaced && at[0] == u'%' && at[1] == conversion) {
            line_put(&writer, argument, SIZE_MAX);
            replaced = true;
            ++at;
            continue;
        }
        line_put(&writer, at, 1);
    }
    out[writer.length] = 0;
    return writer.length;
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
