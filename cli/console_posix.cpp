// Standard streams, the clock and Ctrl+C on POSIX systems.
#include <poll.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "cli/platform.h"

namespace {

volatile sig_atomic_t interrupted = 0;

void on_interrupt(int) {
    interrupted = 1;
}

} // namespace

void platform_write(PlatformStream stream, const char* text, size_t n) {
    const int fd = stream == PLATFORM_OUT ? STDOUT_FILENO : STDERR_FILENO;
    size_t done = 0;
    while (done < n) {
        const ssize_t put = write(fd, text + done, n - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return; // nobody reads any more; there is nowhere to say so
        }
        done += static_cast<size_t>(put);
    }
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
