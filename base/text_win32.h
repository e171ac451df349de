// UTF-8 and UTF-16 for the Win32 files of the link, the settings files and the command-line tool:
// they work in UTF-8, the system's wide functions take UTF-16. Also the system's own text for an
// error code.
#pragma once

#include <cstddef>

// Converts NUL-terminated UTF-8 into `out` (cap units with the terminator). False, with an
// empty text, when it does not fit or is not UTF-8.
bool text_to_wide(const char* utf8, wchar_t* out, size_t cap);

// Converts NUL-terminated UTF-16 into `out` (cap bytes with the terminator); false when it does
// not fit.
bool text_to_utf8(const wchar_t* wide, char* out, size_t cap);

// The system's sentence for error code `error` (GetLastError) in UTF-8, without its closing full
// stop and line break, so that it can stand inside a sentence of the tool's; "system error N"
// when the system has none.
void text_system_error(unsigned long error, char* out, size_t cap);
