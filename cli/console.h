// The command-line tool's console: its two output streams, whether they are a terminal, and
// Ctrl+C. Each platform implements these in its own file (console_posix.cpp, console_win32.cpp).
// Texts are UTF-8 whatever the platform uses underneath.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t CONSOLE_WHY_BYTES = 256; // a failure's reason with its terminator

enum ConsoleStream : int { CONSOLE_OUT = 1, CONSOLE_ERR = 2 };

// Writes the text whole, unbuffered. A failure of standard output is remembered (see below) and
// later output to it is dropped; a failure of standard error is ignored, there being nowhere
// left to say so.
void console_write(ConsoleStream stream, const char* text, size_t n);

// What became of standard output so far: everything written, the reader gone (a closed pipe),
// or a failure (a full disk, a closed or failed device). The reason goes into `why` (of
// CONSOLE_WHY_BYTES) unless it is null.
enum ConsoleOutput : int { CONSOLE_OUTPUT_OK, CONSOLE_OUTPUT_CLOSED, CONSOLE_OUTPUT_FAILED };
ConsoleOutput console_output_state(char* why);

bool console_is_terminal(ConsoleStream stream);

// After this, an interrupt from the keyboard (Ctrl+C) or a termination request no longer ends
// the process: it is remembered, and it ends console_sleep_until early.
void console_catch_interrupt();
bool console_interrupted();
// The opposite, as the check a file write asks before its new file takes its place.
inline bool console_not_interrupted() {
    return !console_interrupted();
}

// Sleeps until the clock (clock_now_ms) reaches the deadline, or an interrupt comes.
void console_sleep_until(int64_t deadline_ms);
