// Standard streams, Ctrl+C and the other signals that ask a program to stop, on POSIX systems.
#include <iconv.h>
#include <langinfo.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
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

// The terminal's character set, where it is not UTF-8: a converter from UTF-8 to it (or none
// when iconv has none, and then every character outside ASCII is written as '?'), and for each
// stream whether it is converted.
bool converted[3] = {};
iconv_t converter = reinterpret_cast<iconv_t>(-1);

constexpr size_t CHUNK_BYTES = 4096;      // converted text is written in pieces of this size
constexpr size_t TRANSLIT_BYTES = 16;     // more than the longest transliteration of a character
constexpr size_t CODESET_NAME_BYTES = 64; // "KOI8-R//TRANSLIT" and the like

// The length of the UTF-8 character at `text` (1 for a byte that begins none), within `left`.
size_t character_bytes(const char* text, size_t left) {
    size_t n = 1;
    while (n < left && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) {
        ++n;
    }
    return n;
}

// The text in the terminal's character set, in pieces of CHUNK_BYTES. A character that neither
// the set has nor iconv can transliterate becomes '?': a write never fails for a character.
bool write_converted(int fd, const char* text, size_t n) {
    char chunk[CHUNK_BYTES];
    size_t used = 0;
    const char* in = text;
    size_t left = n;
    while (left > 0) {
        if (CHUNK_BYTES - used < TRANSLIT_BYTES) {
            if (!write_all(fd, chunk, used)) {
                return false;
            }
            used = 0;
        }
        const bool ascii = static_cast<unsigned char>(*in) < 0x80; // the same in every such set
        if (converter == reinterpret_cast<iconv_t>(-1) || ascii) {
            chunk[used++] = ascii ? *in : '?';
            const size_t skip = ascii ? 1 : character_bytes(in, left);
            in += skip;
            left -= skip;
            continue;
        }
        char* out = chunk + used;
        size_t room = CHUNK_BYTES - used;
        const size_t was = room;
        size_t one = character_bytes(in, left);
        char* from = const_cast<char*>(in);
        const size_t taken = one;
        if (iconv(converter, &from, &one, &out, &room) == static_cast<size_t>(-1)) {
            if (errno == E2BIG && used > 0) {
                if (!write_all(fd, chunk, used)) {
                    return false;
                }
                used = 0;
                continue;
            }
            iconv(converter, nullptr, nullptr, nullptr, nullptr); // back to its initial state
            chunk[used++] = '?'; // not UTF-8, or no such character there
        } else {
            used += was - room;
        }
        in += taken;
        left -= taken;
    }
    return used == 0 || write_all(fd, chunk, used);
}

} // namespace

void console_start() {
    const bool out = isatty(STDOUT_FILENO) == 1;
    const bool err = isatty(STDERR_FILENO) == 1;
    if (!out && !err) {
        return;
    }
    setlocale(LC_CTYPE, ""); // a locale that is not installed leaves C, which is ASCII
    const char* codeset = nl_langinfo(CODESET);
    if (codeset == nullptr || strcmp(codeset, "UTF-8") == 0) {
        return;
    }
    char target[CODESET_NAME_BYTES];
    snprintf(target, sizeof target, "%s//TRANSLIT", codeset);
    converter = iconv_open(target, "UTF-8");
    converted[CONSOLE_OUT] = out;
    converted[CONSOLE_ERR] = err;
}

bool console_takes_unicode() {
    return !converted[CONSOLE_OUT];
}

int console_columns() {
    if (isatty(STDOUT_FILENO) != 1) {
        return 0;
    }
    const int set = console_columns_set();
    if (set > 0) {
        return set;
    }
    struct winsize size {};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

// SIGPIPE is ignored from the start (main_posix.cpp), so a reader that went away shows here as
// EPIPE instead of ending the process.
void console_write(ConsoleStream stream, const char* text, size_t n) {
    const bool out = stream == CONSOLE_OUT;
    if (out && output_state != CONSOLE_OUTPUT_OK) {
        return;
    }
    const int fd = out ? STDOUT_FILENO : STDERR_FILENO;
    const bool written = converted[stream] ? write_converted(fd, text, n) : write_all(fd, text, n);
    if (!written && out) {
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
