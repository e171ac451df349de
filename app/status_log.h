// The StatusLog: the running text of the status window (control 1004).
//
// Lines reach it only through WM_APP_LOG, sent with SendMessageW to the main dialog, from the
// user-interface thread (a direct call) or from the link worker (which waits until the line is
// in). Each thread formats its lines in a buffer of its own: the user-interface thread in the
// UiRecord's scratch buffer, the worker in one it owns.
#pragma once

#include <windows.h>

#include <cstdint>

// WM_APP_LOG handling: appends `text` to the log (or replaces the log with it when the two would
// not fit), shows the whole log in the status window and scrolls to its end.
void status_log_receive(const wchar_t* text);

// Sends one finished line to `dialog`'s log; returns once it is shown. Safe on either thread.
void log_send(HWND dialog, const wchar_t* line);

// User-interface thread: logs `text` as it is (nothing is formatted).
void status_log_line(const char16_t* text);

// User-interface thread: formats `pattern` with one text (%s) or one number (%d) into the
// scratch buffer, at most TEXT_LINE_UNITS units with the terminator, and logs the result.
void ui_log_format(const char16_t* pattern, const char16_t* text_arg);
void ui_log_format_int(const char16_t* pattern, int32_t number);
