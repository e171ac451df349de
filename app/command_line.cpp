#include "app/command_line.h"

size_t command_line_path(char16_t* out, size_t cap, const char16_t* command_line) {
    if (cap == 0) {
        return 0;
    }
    size_t length = 0;
    for (const char16_t* in = command_line; *in != 0 && length < cap - 1; ++in) {
        if (*in != u'"') {
            out[length++] = *in;
        }
    }
    out[length] = 0;
    return length;
}
