// The version shown in the window caption, taken from the build date.
//
// The build date reads like the compiler's date macro: "May 15 2017", or "May  5 2017" for a
// one-digit day. The caption shows two pieces of it: the text up to and including the first
// space, and the text after the next space found from the character after that one. So
// "May 15 2017" shows "May " and "2017" (the day is dropped), while "May  5 2017" shows "May "
// and "5 2017".
#pragma once

#include <cstddef>

constexpr size_t CAPTION_UNITS = 512;         // the caption buffer, terminator included
constexpr size_t CAPTION_VERSION_UNITS = 200; // limit of the appended version text, likewise

// Splits `date` into its two pieces, converted to UTF-16, each bounded by its buffer
// (terminator included). A missing space leaves the second piece (or both) shorter or empty.
void caption_version_pieces(const char* date, char16_t* first, size_t first_units, char16_t* second,
                            size_t second_units);

// Appends ", Version: <first> <second>" to the caption in `caption` (a buffer of
// `caption_units` units holding a NUL-terminated text): at most CAPTION_VERSION_UNITS - 1 units,
// and never past the buffer. Returns the caption's new length.
size_t caption_append_version(char16_t* caption, size_t caption_units, const char* date);
