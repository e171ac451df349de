// Standard streams and Ctrl+C on POSIX systems.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/console.h"
#include "link/clock.h"

namespace {

volatile sig_atomic_t interrupted = 0;
ConsoleOutput output_state = CONSOLE_OUTPUT_OK; // of standard output
int output_error = 0;                           // errno of its first failed write

void on_interrupt(int) {
    interrupted = 1;
}

} // namespace

// SIGPIPE is ignored from the start (main_posix.cpp), so a reader that went away shows here as
// EPIPE instead of ending the process.
void console_write(ConsoleStream stream, const char* text, size_t n) {
    const bool out = stream == CONSOLE_OUT;
    if (out && output_state != CONSOLE_OUTPUT_OK) {
        return;
    }
    const int fd = out ? STDOUT_FILENO : STDERR_FILENO;
    size_t done = 0;
    while (done < n) {
        const ssize_t put = write(fd, text + done, n - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            if (out) {
                output_error = put == 0 ? EIO : errno;
                output_state =
                    output_error == EPIPE ? CONSOLE_OUTPUT_CLOSED : CONSOLE_OUTPUT_FAILED;
            }
            return;
        }
        done += static_cast<size_t>(put);
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
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool console_interrupted() {
    return interrupted != 0;
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
