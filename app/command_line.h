// The settings-file path named on the command line.
//
// The program takes its command line as UTF-16 text, so that a name in any script reaches the
// file system as it is, and treats all of it as one path: every double quote is removed (not
// only an outer pair), the other characters close up. A start from Explorer gives the path in
// quotes; a path typed without quotes may contain spaces.
#pragma once

#include <cstddef>

// The longest command line the system passes, with its terminator.
constexpr size_t COMMAND_LINE_UNITS = 32768;

// Copies `command_line` into `out` (cap units with the terminator) without its double quotes;
// a longer text is cut. `out` may be `command_line` itself. Returns the units written without
// the terminator (nothing at all when cap is 0).
size_t command_line_path(char16_t* out, size_t cap, const char16_t* command_line);
