// Shared by the Win32 tests: starts the real main dialog from the real template linked into the
// test program, pumps its messages, and reads its controls.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/main_dialog.h"
#include "settings/settings_layout.h"
#include "tests/support/test_support.h" // file_bytes, write_file

// Runs every message that is waiting, without blocking. A quit message is taken and dropped, so
// that one test's close does not end the next test's loop.
inline void pump_messages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT)
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Pumps messages for about `ms` milliseconds, waking for each one as it arrives.
inline void pump_for(DWORD ms) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        pump_messages();
    }
}

inline std::u16string window_text(HWND window) {
    int length = GetWindowTextLengthW(window);
    std::u16string text(static_cast<size_t>(length) + 1, u'\0');
    GetWindowTextW(window, reinterpret_cast<wchar_t*>(text.data()), length + 1);
    text.resize(static_cast<size_t>(length));
    return text;
}

inline void set_window_text(HWND window, const char16_t* text) {
    SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

inline bool has_style(HWND window, LONG style) {
    return (GetWindowLongW(window, GWL_STYLE) & style) == style;
}

// The control of table position `position`, found through the dialog (not the UiRecord).
inline HWND position_window(int position) {
    return GetDlgItem(app.dialog, settings_control_id(position));
}

// Starts the main dialog as the program does, hidden, with `command_line`.
class MainDialogTest : public testing::Test {
  protected:
    void SetUp() override {
        app_instance = GetModuleHandleW(nullptr);
        dialog = app_start(caption, CAPTION_UNITS, command_line());
        ASSERT_NE(dialog, nullptr);
    }
    void TearDown() override {
        if (dialog != nullptr && IsWindow(dialog))
            DestroyWindow(dialog);
        pump_messages();
    }
    virtual const wchar_t* command_line() { return L""; }

    HWND item(int id) const { return GetDlgItem(dialog, id); }

    wchar_t caption[CAPTION_UNITS];
    HWND dialog = nullptr;
};
