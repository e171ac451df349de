#include "app/window_handover.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "app/app_state.h"
#include "app/command_line.h"

namespace {

wchar_t full_path[COMMAND_LINE_UNITS]; // the path the new process sends
HandoverData sent_data;                // what it sends

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

constexpr size_t PATH_AT = offsetof(HandoverData, path); // bytes before the path

// The copy of a hand-over's path, or nullptr when the message is not one: the sender's process
// id, then exactly one NUL-terminated, non-empty path no longer than a command line.
wchar_t* copy_handed_path(const COPYDATASTRUCT* data, uint32_t* sender_process) {
    if (data == nullptr || data->dwData != HANDOVER_TAG || data->lpData == nullptr ||
        data->cbData < PATH_AT || (data->cbData - PATH_AT) % sizeof(wchar_t) != 0) {
        return nullptr;
    }
    const size_t units = (data->cbData - PATH_AT) / sizeof(wchar_t);
    const auto* handed = static_cast<const HandoverData*>(data->lpData);
    if (units < 2 || units > COMMAND_LINE_UNITS || handed->path[units - 1] != 0 ||
        wcslen(handed->path) != units - 1) {
        return nullptr;
    }
    auto* path = static_cast<wchar_t*>(malloc(units * sizeof(wchar_t)));
    if (path != nullptr) {
        wmemcpy(path, handed->path, units);
        *sender_process = handed->sender_process;
    }
    return path;
}

void claim_name(wchar_t* name, size_t units, uint32_t process) {
    swprintf(name, units, HANDOVER_CLAIM_FORMAT, static_cast<unsigned long>(process));
}

// Takes the claim's one count without waiting: true for the one of the two that gets it.
bool claim_take(HANDLE claim) {
    return claim != nullptr && WaitForSingleObject(claim, 0) == WAIT_OBJECT_0;
}

// The window's side: the sender's claim, if it is still there and its count not yet taken.
bool window_claims(uint32_t sender_process) {
    wchar_t name[80];
    claim_name(name, 80, sender_process);
    HANDLE claim = OpenSemaphoreW(SYNCHRONIZE, FALSE, name);
    const bool taken = claim_take(claim);
    if (claim != nullptr) {
        CloseHandle(claim);
    }
    return taken;
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
    return search.found != nullptr && handover_offer(search.found, path);
}

// The answer to the message says nothing once the wait has ended: a window that takes the path
// later still takes it. The claim alone decides, and a claim that cannot be made leaves the file
// with this process.
bool handover_offer(HWND window, const wchar_t* path) {
    const uint32_t own_process = GetCurrentProcessId();
    wchar_t name[80];
    claim_name(name, 80, own_process);
    SetLastError(0);
    HANDLE claim = CreateSemaphoreW(nullptr, 1, 1, name);
    if (claim == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {
        if (claim != nullptr) {
            CloseHandle(claim);
        }
        return false; // not a claim of this process's own making
    }
    const wchar_t* sent = path_for_window(path);
    const size_t units = wcsnlen(sent, COMMAND_LINE_UNITS - 1) + 1;
    sent_data.sender_process = own_process;
    wmemcpy(sent_data.path, sent, units - 1);
    sent_data.path[units - 1] = 0;
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    AllowSetForegroundWindow(process); // this process was started by the user and may pass it on
    COPYDATASTRUCT data{HANDOVER_TAG, static_cast<DWORD>(PATH_AT + units * sizeof(wchar_t)),
                        &sent_data};
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG,
                        HANDOVER_WAIT_MS, &answer);
    const bool kept = claim_take(claim);
    CloseHandle(claim);
    return !kept;
}

LRESULT handover_receive(HWND dialog, const COPYDATASTRUCT* data) {
    if (link_flags_test(LINK_CLOSING) || modal_window_up(dialog)) {
        return 0;
    }
    uint32_t sender_process = 0;
    wchar_t* path = copy_handed_path(data, &sender_process);
    if (path == nullptr) {
        return 0;
    }
    if (!window_claims(sender_process)) {
        free(path); // the sender has loaded the file itself, or is gone
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
