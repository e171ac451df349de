// The command-line tool's console: its two output streams, whether they are a terminal, and
// Ctrl+C. Each platform implements these in its own file (console_posix.cpp, console_win32.cpp).
// Texts are UTF-8 whatever the platform uses underneath: a terminal whose character set is
// another gets them converted, a file or a pipe gets them as they are.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t CONSOLE_WHY_BYTES = 256; // a failure's reason with its terminator

enum ConsoleStream : int { CONSOLE_OUT = 1, CONSOLE_ERR = 2 };

// Looks once, before the first output, at what the streams go to: on POSIX systems the
// character set of the user's locale (LC_CTYPE only; numbers keep the point) where a stream is
// a terminal. Without it every stream takes UTF-8.
void console_start();

// Whether standard output shows any Unicode character: a file, a pipe, the Windows console
// (written in UTF-16) or a UTF-8 terminal. Else text goes out in the terminal's character set,
// a character it lacks transliterated ("->" for an arrow) or written as '?', and pictures drawn
// in text should keep to ASCII.
bool console_takes_unicode();

// The width of the terminal that standard output shows: COLUMNS when set to a number, else
// what the terminal says (the Windows console its buffer's width), else 80; 0 when standard
// output is no terminal, whose lines have no limit.
int console_columns();
// The width COLUMNS sets: a number from 1 to 10000, else 0 (not set, or no width).
int console_columns_set();

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

// After this, a request to stop no longer ends the process at once: an interrupt from the
// keyboard (Ctrl+C), and on POSIX systems SIGINT, SIGTERM, SIGHUP (the terminal went away) and
// SIGQUIT; on Windows Ctrl+C, Ctrl+Break and the console's close, log-off and shut-down events.
// It is remembered, it ends console_sleep_until early, and the command, which keeps asking,
// gives back its ports and files as it found them and ends with console_interrupt_exit(). On
// Windows the close, log-off and shut-down events are held, while the command ends, for a
// little less than the time the system allows before it ends the process itself.
void console_catch_interrupt();
bool console_interrupted();
// The exit status for the request to stop that came first: 128 + its signal's number, as
// shells count (130 Ctrl+C, SIGINT; 129 SIGHUP; 131 SIGQUIT; 143 SIGTERM). On Windows: 130
// Ctrl+C, 131 Ctrl+Break, 129 the console closed, 143 log-off or shut-down. 130 when none came.
int console_interrupt_exit();
constexpr int CONSOLE_KEYBOARD_INTERRUPT_EXIT = 130; // Ctrl+C
// The opposite, as the check a file write asks before its new file takes its place.
inline bool console_not_interrupted() {
    return !console_interrupted();
}

// Sleeps until the clock (clock_now_ms) reaches the deadline, or an interrupt comes.
void console_sleep_until(int64_t deadline_ms);
