#include "settings/text_clip.h"

#include <cstring>

char* text_clip_escaped(const char* text, size_t n, size_t limit, char* out, size_t cap) {
    if (cap == 0) {
        return out;
    }
    n = strnlen(text, n);
    const size_t room = limit < cap - 1 ? limit : cap - 1;
    size_t keep = n;
    bool cut = false;
    if (n > room) {
        cut = true;
        keep = room > 3 ? room - 3 : 0;
        // Never end inside a UTF-8 sequence: back off over its continuation bytes.
        while (keep > 0 && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80) {
            --keep;
        }
    }
    for (size_t i = 0; i < keep; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        out[i] = c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c);
    }
    size_t at = keep;
    if (cut) {
        const size_t dots = room - keep < 3 ? room - keep : 3;
        memset(out + at, '.', dots);
        at += dots;
    }
    out[at] = '\0';
    return out;
}
