// Standard streams and Ctrl+C on Windows.
//
// A console shows UTF-16 written with WriteConsoleW whatever its code page, so texts for a
// console are converted; redirected output (a file, a pipe) gets the UTF-8 bytes as they are.
#include <windows.h>

#include <vector>

#include "app/text_win32.h"
#include "cli/console.h"
#include "link/clock.h"

namespace {

volatile LONG interrupted = 0;
HANDLE interrupt_event = nullptr;               // set when Ctrl+C comes, to end a sleep at once
ConsoleOutput output_state = CONSOLE_OUTPUT_OK; // of standard output
DWORD output_error = 0;                         // system error of its first failed write

BOOL WINAPI on_console_event(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
        InterlockedExchange(&interrupted, 1);
        if (interrupt_event != nullptr) {
            SetEvent(interrupt_event);
        }
        return TRUE;
    }
    return FALSE;
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
    size_t done = 0;
    while (done < n) {
        DWORD written = 0;
        if (!WriteFile(handle, text + done, static_cast<DWORD>(n - done), &written, nullptr)) {
            *error = GetLastError();
            return false;
        }
        if (written == 0) {
            *error = ERROR_WRITE_FAULT;
            return false;
        }
        done += written;
    }
    return true;
}

} // namespace

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
