// The text of the status log.
//
// The log is a UTF-16 text in a buffer of a fixed number of bytes (32767 in the program). A new
// line of n bytes is appended at the end of the m bytes already there, unless m + n reaches the
// size minus 2 (32765): then the new line replaces the whole log, so a line is never lost.
// A line longer than the buffer itself is cut to what fits; the text always stays terminated.
//
// The lines themselves are made by base/log_format.h.
#pragma once

#include <cstddef>
#include <cstdint>

// Appends `text` to the log held in `log` (a buffer of `log_bytes` bytes) by the rule above.
// Returns the log's new length in code units.
size_t status_log_append(char16_t* log, size_t log_bytes, const char16_t* text);
