// Standard streams, Ctrl+C and the other signals that ask a program to stop, on POSIX systems.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/write_all_posix.h"
#include "cli/console.h"
#include "link/clock.h"

namespace {

volatile sig_atomic_t interrupted = 0;          // the first signal that asked to stop; 0 for none
ConsoleOutput output_state = CONSOLE_OUTPUT_OK; // of standard output
int output_error = 0;                           // errno of its first failed write

constexpr int EXIT_SIGNAL_BASE = 128; // a shell's exit status for a process a signal stopped

// The signals that ask a command-line program to stop.
constexpr int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void on_interrupt(int signal_number) {
    if (interrupted == 0) {
        interrupted = signal_number;
    }
}

} // namespace

// SIGPIPE is ignored from the start (main_posix.cpp), so a reader that went away shows here as
// EPIPE instead of ending the process.
void console_write(ConsoleStream stream, const char* text, size_t n) {
    const bool out = stream == CONSOLE_OUT;
    if (out && output_state != CONSOLE_OUTPUT_OK) {
        return;
    }
    if (!write_all(out ? STDOUT_FILENO : STDERR_FILENO, text, n) && out) {
        output_error = errno;
        output_state = output_error == EPIPE ? CONSOLE_OUTPUT_CLOSED : CONSOLE_OUTPUT_FAILED;
    }
}

ConsoleOutput console_output_state(char* why) {
    if (why != nullptr && output_state != CONSOLE_OUTPUT_OK) {
        snprintf(why, CONSOLE_WHY_BYTES, "%s", strerror(output_error));
    }
    return output_state;
}

bool console_is_terminal(ConsoleStream stream) {
    return isatty(stream == CONSOLE_OUT ? STDOUT_FILENO : STDERR_FILENO) == 1;
}

void console_catch_interrupt() {
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a wait in progress ends at once
    for (int signal_number : STOP_SIGNALS) {
        sigaction(signal_number, &action, nullptr);
    }
}

bool console_interrupted() {
    return interrupted != 0;
}

int console_interrupt_exit() {
    return interrupted != 0 ? EXIT_SIGNAL_BASE + interrupted : CONSOLE_KEYBOARD_INTERRUPT_EXIT;
}

void console_sleep_until(int64_t deadline_ms) {
    for (;;) {
        const int64_t left = deadline_ms - clock_now_ms();
        if (left <= 0 || interrupted) {
            return;
        }
        poll(nullptr, 0, static_cast<int>(left));
    }
}
