// Standard streams, the clock and Ctrl+C on POSIX systems.
#include <poll.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/platform.h"

namespace {

volatile sig_atomic_t interrupted = 0;
PlatformOutput output_state = PLATFORM_OUTPUT_OK; // of standard output
int output_error = 0;                             // errno of its first failed write

void on_interrupt(int) {
    interrupted = 1;
}

} // namespace

// SIGPIPE is ignored from the start (main_posix.cpp), so a reader that went away shows here as
// EPIPE instead of ending the process.
void platform_write(PlatformStream stream, const char* text, size_t n) {
    const bool out = stream == PLATFORM_OUT;
    if (out && output_state != PLATFORM_OUTPUT_OK) {
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
                    output_error == EPIPE ? PLATFORM_OUTPUT_CLOSED : PLATFORM_OUTPUT_FAILED;
            }
            return;
        }
        done += static_cast<size_t>(put);
    }
}

PlatformOutput platform_output_state(char* why) {
    if (why != nullptr && output_state != PLATFORM_OUTPUT_OK) {
        snprintf(why, PLATFORM_WHY_BYTES, "%s", strerror(output_error));
    }
    return output_state;
}

bool platform_is_terminal(PlatformStream stream) {
    return isatty(stream == PLATFORM_OUT ? STDOUT_FILENO : STDERR_FILENO) == 1;
}

void platform_catch_interrupt() {
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a wait in progress ends at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool platform_interrupted() {
    return interrupted != 0;
}

int64_t platform_now_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void platform_sleep_until(int64_t deadline_ms) {
    for (;;) {
        const int64_t left = deadline_ms - platform_now_ms();
        if (left <= 0 || interrupted) {
            return;
        }
        poll(nullptr, 0, static_cast<int>(left));
    }
}
