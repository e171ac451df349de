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

// The whole content of a file; empty when it cannot be read.
inline std::vector<uint8_t> read_file(const std::wstring& path) {
    std::vector<uint8_t> bytes;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return bytes;
    uint8_t chunk[4096];
    DWORD got = 0;
    while (ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    CloseHandle(h);
    return bytes;
}

// Creates or truncates a file with `bytes`, then extends it to `size` bytes when size >= 0.
inline bool write_file(const std::wstring& path, const std::vector<uint8_t>& bytes,
                       LONGLONG size = -1) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    if (ok && size >= 0) { // extended to `size` bytes of zeros without writing them
        LARGE_INTEGER at;
        at.QuadPart = size;
        ok = SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && SetEndOfFile(h);
    }
    CloseHandle(h);
    return ok;
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
