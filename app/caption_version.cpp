#include "app/caption_version.h"

#include <cstring>

#include "base/text_cp1251.h"

namespace {

// Converts the first `count` bytes of `text` (no more than a version text can show).
void piece_convert(const char* text, size_t count, char16_t* out, size_t out_units) {
    char piece[CAPTION_VERSION_UNITS];
    if (count >= sizeof piece) {
        count = sizeof piece - 1;
    }
    std::memcpy(piece, text, count);
    piece[count] = '\0';
    cp1251_to_utf16_n(out, out_units, piece);
}

struct CaptionWriter {
    char16_t* out;
    size_t limit; // index the text must stay below (room for the terminator after it)
    size_t length;
};

void caption_put(CaptionWriter* writer, const char16_t* text) {
    for (; *text != 0 && writer->length < writer->limit; ++text) {
        writer->out[writer->length++] = *text;
    }
}

} // namespace

void caption_version_pieces(const char* date, char16_t* first, size_t first_units, char16_t* second,
                            size_t second_units) {
    const char* space = std::strchr(date, ' ');
    if (space == nullptr) {
        piece_convert(date, std::strlen(date), first, first_units);
        piece_convert("", 0, second, second_units);
        return;
    }
    piece_convert(date, static_cast<size_t>(space - date) + 1, first, first_units);
    const char* next = std::strchr(space + 1, ' '); // may be the very next character
    if (next == nullptr) {
        piece_convert("", 0, second, second_units);
        return;
    }
    piece_convert(next + 1, std::strlen(next + 1), second, second_units);
}

size_t caption_append_version(char16_t* caption, size_t caption_units, const char* date) {
    if (caption_units == 0) {
        return 0;
    }
    size_t length = 0;
    while (length < caption_units - 1 && caption[length] != 0) {
        ++length;
    }
    char16_t first[CAPTION_VERSION_UNITS];
    char16_t second[CAPTION_VERSION_UNITS];
    caption_version_pieces(date, first, CAPTION_VERSION_UNITS, second, CAPTION_VERSION_UNITS);

    size_t limit = length + (CAPTION_VERSION_UNITS - 1);
    if (limit > caption_units - 1) {
        limit = caption_units - 1;
    }
    CaptionWriter writer{caption, limit, length};
    caption_put(&writer, u", Version: ");
    caption_put(&writer, first);
    caption_put(&writer, u" ");
    caption_put(&writer, second);
    caption[writer.length] = 0;
    return writer.length;
}
