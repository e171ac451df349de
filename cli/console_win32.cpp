// Standard streams, Ctrl+C and the console's other requests to stop, on Windows.
//
// A console shows UTF-16 written with WriteConsoleW whatever its code page, so texts for a
// console are converted; redirected output (a file, a pipe) gets the UTF-8 bytes as they are.
//
// The system calls the console handler on a thread of its own. For Ctrl+C and Ctrl+Break the
// handler only records the request and returns: the command sees it and ends by itself. For
// the console's close, log-off and shut-down events the system ends the process as soon as the
// handler returns (and at the latest some seconds later), so the handler waits there instead,
// giving the command the time to put its ports back; the process ends when the command returns
// from main, which ends the waiting handler with it.
#include <windows.h>

#include <cstdlib>
#include <vector>

#include "base/text_win32.h"
#include "base/write_all_win32.h"
#include "cli/console.h"
#include "link/clock.h"

namespace {

volatile LONG interrupted = 0;    // exit status of the first request to stop; 0 for none
HANDLE interrupt_event = nullptr; // set when a request to stop comes, to end a sleep at once
ConsoleOutput output_state = CONSOLE_OUTPUT_OK; // of standard output
DWORD output_error = 0;                         // system error of its first failed write

// The system gives a process 5 s after a close event (and as much at log-off and shut-down)
// before it ends it; the handler holds it a little less, so that the command's last steps are
// not cut off by the return.
constexpr DWORD CLOSE_GRACE_MS = 4500;

// The exit status for a console event, as a shell counts the signal that stands for it; 0 for
// an event that does not ask to stop.
LONG event_exit(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
        return CONSOLE_KEYBOARD_INTERRUPT_EXIT; // SIGINT
    case CTRL_BREAK_EVENT:
        return 131; // SIGQUIT: the keyboard's other stop
    case CTRL_CLOSE_EVENT:
        return 129; // SIGHUP: the terminal went away
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        return 143; // SIGTERM: the system ends the session
    default:
        return 0;
    }
}

BOOL WINAPI on_console_event(DWORD event) {
    const LONG exit_status = event_exit(event);
    if (exit_status == 0) {
        return FALSE;
    }
    InterlockedCompareExchange(&interrupted, exit_status, 0);
    if (interrupt_event != nullptr) {
        SetEvent(interrupt_event);
    }
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        Sleep(CLOSE_GRACE_MS); // the process ends meanwhile, when the command has finished
    }
    return TRUE;
}

HANDLE stream_handle(ConsoleStream stream) {
    return GetStdHandle(stream == CONSOLE_OUT ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

// Writes the text to a console or a file or pipe; false with the system's error when it fails.
bool write_handle(HANDLE handle, const char* text, size_t n, DWORD* error) {
    DWORD mode = 0;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        *error = ERROR_INVALID_HANDLE; // the process was started without this stream
        return false;
    }
    if (GetConsoleMode(handle, &mode)) {
        const int units = MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(n), nullptr, 0);
        if (units > 0) {
            std::vector<wchar_t> wide(static_cast<size_t>(units));
            MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(n), wide.data(), units);
            DWORD written = 0;
            if (!WriteConsoleW(handle, wide.data(), static_cast<DWORD>(units), &written, nullptr)) {
                *error = GetLastError();
                return false;
            }
        }
        return true;
    }
    return write_all(handle, text, n, error);
}

} // namespace

void console_start() {}

bool console_takes_unicode() {
    return true;
}

// The buffer's width, not the window's: lines as wide as the buffer do not wrap, and the
// window scrolls sideways to them.
int console_columns() {
    const HANDLE handle = stream_handle(CONSOLE_OUT);
    DWORD mode = 0;
    if (!GetConsoleMode(handle, &mode)) {
        return 0;
    }
    const int set = console_columns_set();
    if (set > 0) {
        return set;
    }
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(handle, &info) && info.dwSize.X > 0) {
        return info.dwSize.X;
    }
    return 80;
}

void console_write(ConsoleStream stream, const char* text, size_t n) {
    const bool out = stream == CONSOLE_OUT;
    if (n == 0 || (out && output_state != CONSOLE_OUTPUT_OK)) {
        return;
    }
    DWORD error = 0;
    if (!write_handle(stream_handle(stream), text, n, &error) && out) {
        // A pipe whose reader has gone: being closed (ERROR_NO_DATA) or closed already.
        output_error = error;
        output_state = error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE ? CONSOLE_OUTPUT_CLOSED
                                                                            : CONSOLE_OUTPUT_FAILED;
    }
}

ConsoleOutput console_output_state(char* why) {
    if (why != nullptr && output_state != CONSOLE_OUTPUT_OK) {
        text_system_error(output_error, why, CONSOLE_WHY_BYTES);
    }
    return output_state;
}

bool console_is_terminal(ConsoleStream stream) {
    DWORD mode = 0;
    return GetConsoleMode(stream_handle(stream), &mode) != 0;
}

void console_catch_interrupt() {
    if (interrupt_event == nullptr) {
        interrupt_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

bool console_interrupted() {
    return InterlockedCompareExchange(&interrupted, 0, 0) != 0;
}

int console_interrupt_exit() {
    const LONG exit_status = InterlockedCompareExchange(&interrupted, 0, 0);
    return exit_status != 0 ? static_cast<int>(exit_status) : CONSOLE_KEYBOARD_INTERRUPT_EXIT;
}

void console_sleep_until(int64_t deadline_ms) {
    for (;;) {
        const int64_t left = deadline_ms - clock_now_ms();
        if (left <= 0 || console_interrupted()) {
            return;
        }
        if (interrupt_event != nullptr) {
            WaitForSingleObject(interrupt_event, static_cast<DWORD>(left));
        } else {
            Sleep(static_cast<DWORD>(left));
        }
    }
}
