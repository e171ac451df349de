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
#include <vector>

#include "tests/support/test_support.h" // file_bytes, write_file

// ---- the program ----
bool app_start(const wchar_t* arguments = L""); // starts it and waits for its window
// Starts it without waiting; app_wait_window then waits.
bool app_launch(const wchar_t* arguments);
bool app_wait_window(DWORD timeout_ms = 15000);
// Closes the window and waits for the exit; false when the program had to be ended by force.
bool app_stop();
bool app_attach(DWORD timeout_ms); // finds the window of a program started by someone else
HWND app_window();
bool app_running();
DWORD app_exit_code();
std::wstring app_text(int control_id);
bool app_checked(int control_id);
bool app_visible(int control_id);
bool app_read_only(int control_id);
void app_set_text(int control_id, const wchar_t* text);
void app_click(int control_id); // WM_COMMAND as a click of that button sends it
// The same posted, for a button that opens a modal window: returns at once.
void app_click_async(int control_id);
void app_set_check(int control_id, bool checked);
std::wstring app_log();
bool app_log_contains(const wchar_t* text);
int app_log_count(const wchar_t* text); // occurrences of a text in the status log
// The 248 settings controls in table order: an edit's text, a check box's state as "[x]" / "[ ]".
std::vector<std::wstring> app_form();
// True when the window handles a message within `timeout_ms` (it is not hung).
bool app_responds(DWORD timeout_ms = 2000);
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

// ---- a second start of the program, beside the one above ----
bool other_launch(const wchar_t* arguments);
// Waits for the second start to end by itself; true and its exit code when it did.
bool other_exited(DWORD timeout_ms, DWORD* exit_code);
bool other_stop(); // closes the second start's window, like app_stop
// Visible main windows of the program, in every process.
int program_windows();

// ---- many starts of the program at the same moment, as a selection of files opened in Explorer
// Starts the program once per argument text, all at once, and waits until no more than `left`
// of those starts still run; false when one did not start or more kept running.
bool starts_run(const std::vector<std::wstring>& arguments, size_t left, DWORD timeout_ms);
// Closes the windows of those starts still running and waits for them to end.
void starts_stop();

// ---- modal windows of the program (file dialogs, message boxes) ----
// A visible top-level window of the program's process other than its main window, matched by
// caption and by window class (nullptr matches any); waits up to `timeout_ms` for it.
HWND app_modal(const wchar_t* caption, const wchar_t* window_class = L"#32770",
               DWORD timeout_ms = 10000);
std::wstring window_text(HWND window);
// The text of a message box (its longest static text).
std::wstring message_box_text(HWND box);
// Presses a button of a dialog (posted, as a click would) and waits until the dialog is gone.
bool dialog_press(HWND dialog, int button_id, DWORD timeout_ms = 10000);
// In a common file dialog: selects filter `filter_index` (0-based) when it is not -1, types
// `name` into the file-name field and presses OK. False when the field is not found or the
// dialog stays.
bool file_dialog_choose(HWND dialog, const wchar_t* name, int filter_index = -1);

// ---- the emulator ----
// Sends one command line to emulator `which` (1 or 2) and returns its reply line ("" on failure).
std::string emu(const char* command, int which = 1);
bool emu_ok(const char* command, int which = 1);
// One count of the emulator's `requests` reply ("identify", "status", "read", "write"); -1 when
// there is none.
long emu_requests(const char* kind, int which = 1);

// Path of the program for a file-system test folder (a Windows path under the build tree).
std::wstring test_folder();
