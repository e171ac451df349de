// A user of the program, for end-to-end tests under Wine: starts lumivo24.exe, finds its main
// dialog and works it the way clicks and a technician's eyes would (button clicks, control texts,
// check states, visibility and read-only state), and talks to the controller emulator over its
// control channel on 127.0.0.1.
//
// The environment gives the program's path (LUMIVO_EXE, a Windows path) and the emulator's
// control port (LUMIVO_EMU_CONTROL, and LUMIVO_EMU2_CONTROL for a second emulator).
#pragma once

#include <windows.h>

#include <string>

// ---- the program ----
bool app_start(const wchar_t* arguments = L""); // starts it and waits for its window
void app_stop();                                // closes the window and waits for the exit
HWND app_window();
bool app_running();
DWORD app_exit_code();
std::wstring app_text(int control_id);
bool app_checked(int control_id);
bool app_visible(int control_id);
bool app_read_only(int control_id);
void app_set_text(int control_id, const wchar_t* text);
void app_click(int control_id); // WM_COMMAND as a click of that button sends it
std::wstring app_log();
bool app_log_contains(const wchar_t* text);
int app_log_count(const wchar_t* text); // occurrences of a text in the status log
DWORD app_handle_count();
SIZE_T app_private_bytes();

// Polls until `done` returns true or `timeout_ms` passes; returns the last result.
template <typename F> bool wait_until(F done, DWORD timeout_ms) {
    const ULONGLONG end = GetTickCount64() + timeout_ms;
    for (;;) {
        if (done()) {
            return true;
        }
        if (GetTickCount64() >= end) {
            return false;
        }
        Sleep(20);
    }
}

// ---- the emulator ----
// Sends one command line to emulator `which` (1 or 2) and returns its reply line ("" on failure).
std::string emu(const char* command, int which = 1);
bool emu_ok(const char* command, int which = 1);

// Path of the program for a file-system test folder (a Windows path under the build tree).
std::wstring test_folder();
