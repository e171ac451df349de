// The text of the status log and the lines that go into it.
//
// The log is a UTF-16 text in a buffer of a fixed number of bytes (32767 in the program). A new
// line of n bytes is appended at the end of the m bytes already there, unless m + n reaches the
// size minus 2 (32765): then the new line replaces the whole log, so a line is never lost.
// A line longer than the buffer itself is cut to what fits; the text always stays terminated.
//
// Log lines are built from a pattern with at most one argument, "%s" or "%d", into a line
// buffer of a fixed number of units (100 in the program) with the terminator. A line that would
// be longer is cut in its argument, whose last unit kept becomes "…": a long file path is
// shortened, the words around it stay whole, and the line still ends with its line break, so
// the next message starts on a line of its own. A pattern too long by itself is cut before its
// line break.
#pragma once

#include <cstddef>
#include <cstdint>

// Appends `text` to the log held in `log` (a buffer of `log_bytes` bytes) by the rule above.
// Returns the log's new length in code units.
size_t status_log_append(char16_t* log, size_t log_bytes, const char16_t* text);

// Formats `pattern` into `out` (cap units with the terminator), replacing "%s" with `text_arg`.
// Returns the units written without the terminator.
size_t log_format(char16_t* out, size_t cap, const char16_t* pattern, const char16_t* text_arg);

// The same with "%d" replaced by `value`.
size_t log_format_int(char16_t* out, size_t cap, const char16_t* pattern, int32_t value);
