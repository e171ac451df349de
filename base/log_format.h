// Lines for the status log, and for the message box that repeats one of them.
//
// A line is built from a pattern with at most one argument, "%s" or "%d", into a line buffer of
// a fixed number of units (TEXT_LINE_UNITS in the program) with the terminator. A line that
// would be longer is cut in the middle of its argument, which becomes "…": a long file path
// keeps its start up to a separator and its file name (C:\Users\…\Подъезд 2.lv24), the words
// around it stay whole, and the line still ends with its line break, so the next message starts
// on a line of its own. A pattern too long by itself is cut before its line break.
#pragma once

#include <cstddef>
#include <cstdint>

// Formats `pattern` into `out` (cap units with the terminator), replacing "%s" with `text_arg`.
// Returns the units written without the terminator.
size_t log_format(char16_t* out, size_t cap, const char16_t* pattern, const char16_t* text_arg);

// The same with "%d" replaced by `value`.
size_t log_format_int(char16_t* out, size_t cap, const char16_t* pattern, int32_t value);
