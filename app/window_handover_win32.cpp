#include "app/window_handover.h"

#include <cstdlib>
#include <cwchar>

#include "app/app_state.h"
#include "app/command_line.h"

namespace {

wchar_t full_path[COMMAND_LINE_UNITS]; // the path the new process sends

struct WindowSearch {
    DWORD own_process; // this process's windows are never the target
    HWND found;        // the first marked window, front first
};

BOOL CALLBACK find_open_window(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    if (!IsWindowVisible(window) || GetPropW(window, HANDOVER_PROPERTY) == nullptr) {
        return TRUE;
    }
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == search->own_process) {
        return TRUE;
    }
    search->found = window;
    return FALSE;
}

// A path relative to the new process's folder means nothing to the open window: it is made full.
const wchar_t* path_for_window(const wchar_t* path) {
    const DWORD units = GetFullPathNameW(path, COMMAND_LINE_UNITS, full_path, nullptr);
    return units == 0 || units >= COMMAND_LINE_UNITS ? path : full_path;
}

// A visible dialog of this thread other than the main one: a file dialog or a message box,
// whose modal loop is what dispatches the hand-over. The main window is disabled under its file
// dialogs; a file's message box has no owner, so it is found among the thread's windows.
BOOL CALLBACK find_modal_window(HWND window, LPARAM param) {
    auto* dialog = reinterpret_cast<HWND*>(param);
    wchar_t window_class[16] = {};
    if (window == *dialog || !IsWindowVisible(window) ||
        GetClassNameW(window, window_class, 16) == 0 || wcscmp(window_class, L"#32770") != 0) {
        return TRUE;
    }
    *dialog = nullptr;
    return FALSE;
}

bool modal_window_up(HWND dialog) {
    if (!IsWindowEnabled(dialog)) {
        return true;
    }
    HWND search = dialog;
    EnumThreadWindows(GetCurrentThreadId(), find_modal_window, reinterpret_cast<LPARAM>(&search));
    return search == nullptr;
}

void come_to_front(HWND dialog) {
    if (IsIconic(dialog)) {
        ShowWindow(dialog, SW_RESTORE);
    }
    SetForegroundWindow(dialog);
}

// The copy of a hand-over's path, or nullptr when the message is not one: exactly one
// NUL-terminated, non-empty path no longer than a command line.
wchar_t* copy_handed_path(const COPYDATASTRUCT* data) {
    if (data == nullptr || data->dwData != HANDOVER_TAG || data->lpData == nullptr ||
        data->cbData % sizeof(wchar_t) != 0) {
        return nullptr;
    }
    const size_t units = data->cbData / sizeof(wchar_t);
    const auto* text = static_cast<const wchar_t*>(data->lpData);
    if (units < 2 || units > COMMAND_LINE_UNITS || text[units - 1] != 0 ||
        wcslen(text) != units - 1) {
        return nullptr;
    }
    auto* path = static_cast<wchar_t*>(malloc(units * sizeof(wchar_t)));
    if (path != nullptr) {
        wmemcpy(path, text, units);
    }
    return path;
}

} // namespace

void handover_mark(HWND dialog) {
    SetPropW(dialog, HANDOVER_PROPERTY, reinterpret_cast<HANDLE>(1));
}

void handover_unmark(HWND dialog) {
    RemovePropW(dialog, HANDOVER_PROPERTY);
}

HANDLE handover_lock() {
    HANDLE lock = CreateMutexW(nullptr, FALSE, HANDOVER_LOCK_NAME);
    if (lock == nullptr) {
        return nullptr;
    }
    // An abandoned lock (its holder ended without giving it back) is ours all the same.
    const DWORD waited = WaitForSingleObject(lock, HANDOVER_LOCK_WAIT_MS);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        CloseHandle(lock);
        return nullptr;
    }
    return lock;
}

void handover_unlock(HANDLE lock) {
    if (lock != nullptr) {
        ReleaseMutex(lock);
        CloseHandle(lock);
    }
}

bool handover_send(const wchar_t* path) {
    WindowSearch search{GetCurrentProcessId(), nullptr};
    EnumWindows(find_open_window, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) {
        return false;
    }
    const wchar_t* sent = path_for_window(path);
    const size_t units = wcsnlen(sent, COMMAND_LINE_UNITS - 1) + 1;
    DWORD process = 0;
    GetWindowThreadProcessId(search.found, &process);
    AllowSetForegroundWindow(process); // this process was started by the user and may pass it on
    COPYDATASTRUCT data{HANDOVER_TAG, static_cast<DWORD>(units * sizeof(wchar_t)),
                        const_cast<wchar_t*>(sent)};
    DWORD_PTR answer = 0;
    if (SendMessageTimeoutW(search.found, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                            SMTO_ABORTIFHUNG, HANDOVER_WAIT_MS, &answer) == 0) {
        return false;
    }
    return answer == static_cast<DWORD_PTR>(HANDOVER_TAKEN);
}

LRESULT handover_receive(HWND dialog, const COPYDATASTRUCT* data) {
    if (link_flags_test(LINK_CLOSING) || modal_window_up(dialog)) {
        return 0;
    }
    wchar_t* path = copy_handed_path(data);
    if (path == nullptr) {
        return 0;
    }
    // The sender is answered now: the load may show a message box, and the sender must not wait
    // for the user to close it.
    ReplyMessage(HANDOVER_TAKEN);
    come_to_front(dialog);
    const wchar_t* previous = app.settings_path;
    app.settings_path = path;
    SendMessageW(dialog, WM_APP_LOAD_FILE, 0, 0);
    app.settings_path = previous;
    free(path);
    return HANDOVER_TAKEN;
}
