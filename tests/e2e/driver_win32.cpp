#include "driver.h"

#include <psapi.h>
#include <winsock2.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "settings/settings_layout.h"

namespace {

PROCESS_INFORMATION process{};
HWND window = nullptr;
PROCESS_INFORMATION other{}; // a second start of the program

struct FindContext {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK find_window(HWND hwnd, LPARAM param) {
    auto* ctx = reinterpret_cast<FindContext*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t cls[32] = {};
    GetClassNameW(hwnd, cls, 32);
    wchar_t caption[16] = {};
    GetWindowTextW(hwnd, caption, 16);
    if ((ctx->pid == 0 || pid == ctx->pid) && wcscmp(cls, L"#32770") == 0 &&
        wcsncmp(caption, L"lumivo", 6) == 0) {
        ctx->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

std::wstring env(const wchar_t* name) {
    wchar_t value[1024] = {};
    DWORD n = GetEnvironmentVariableW(name, value, 1024);
    return n > 0 && n < 1024 ? std::wstring(value) : std::wstring();
}

bool launch(const wchar_t* arguments, PROCESS_INFORMATION* started) {
    std::wstring exe = env(L"LUMIVO_EXE");
    if (exe.empty()) {
        return false;
    }
    std::wstring command = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    return CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &si, started) != 0;
}

HWND window_of(DWORD pid) {
    FindContext ctx{pid, nullptr};
    EnumWindows(find_window, reinterpret_cast<LPARAM>(&ctx));
    return ctx.found;
}

// Closes the window of `started` and waits for the exit; false when it had to be ended by force.
bool stop(PROCESS_INFORMATION* started, HWND main_window) {
    if (started->hProcess == nullptr) {
        return true;
    }
    if (main_window != nullptr && IsWindow(main_window)) {
        PostMessageW(main_window, WM_CLOSE, 0, 0);
    }
    const bool ended = WaitForSingleObject(started->hProcess, 10000) == WAIT_OBJECT_0;
    if (!ended) {
        TerminateProcess(started->hProcess, 99);
        WaitForSingleObject(started->hProcess, 5000);
    }
    CloseHandle(started->hThread);
    CloseHandle(started->hProcess);
    *started = PROCESS_INFORMATION{};
    return ended;
}

BOOL CALLBACK count_window(HWND hwnd, LPARAM param) {
    FindContext ctx{0, nullptr};
    find_window(hwnd, reinterpret_cast<LPARAM>(&ctx));
    *reinterpret_cast<int*>(param) += ctx.found != nullptr && IsWindowVisible(hwnd);
    return TRUE;
}

} // namespace

bool app_launch(const wchar_t* arguments) {
    window = nullptr;
    return launch(arguments, &process);
}

bool other_launch(const wchar_t* arguments) {
    return launch(arguments, &other);
}

bool other_exited(DWORD timeout_ms, DWORD* exit_code) {
    if (other.hProcess == nullptr ||
        WaitForSingleObject(other.hProcess, timeout_ms) != WAIT_OBJECT_0) {
        return false;
    }
    GetExitCodeProcess(other.hProcess, exit_code);
    stop(&other, nullptr);
    return true;
}

bool other_stop() {
    return stop(&other, window_of(other.dwProcessId));
}

namespace {
std::vector<PROCESS_INFORMATION> starts; // many starts at once
} // namespace

bool starts_run(const std::vector<std::wstring>& arguments, size_t left, DWORD timeout_ms) {
    for (const std::wstring& text : arguments) {
        starts.emplace_back();
        if (!launch(text.c_str(), &starts.back())) {
            starts.pop_back();
            return false;
        }
    }
    return wait_until(
        [left] {
            size_t running = 0;
            for (const PROCESS_INFORMATION& started : starts) {
                running += WaitForSingleObject(started.hProcess, 0) == WAIT_TIMEOUT;
            }
            return running <= left;
        },
        timeout_ms);
}

void starts_stop() {
    for (PROCESS_INFORMATION& started : starts) {
        stop(&started, window_of(started.dwProcessId));
    }
    starts.clear();
}

int program_windows() {
    int count = 0;
    EnumWindows(count_window, reinterpret_cast<LPARAM>(&count));
    return count;
}

bool app_wait_window(DWORD timeout_ms) {
    return wait_until(
        [] {
            FindContext ctx{process.dwProcessId, nullptr};
            EnumWindows(find_window, reinterpret_cast<LPARAM>(&ctx));
            window = ctx.found;
            return window != nullptr && IsWindowVisible(window);
        },
        timeout_ms);
}

bool app_start(const wchar_t* arguments) {
    return app_launch(arguments) && app_wait_window();
}

bool app_attach(DWORD timeout_ms) {
    window = nullptr;
    return wait_until(
        [] {
            FindContext ctx{0, nullptr};
            EnumWindows(find_window, reinterpret_cast<LPARAM>(&ctx));
            window = ctx.found;
            return window != nullptr && IsWindowVisible(window);
        },
        timeout_ms);
}

bool app_stop() {
    const bool ended = stop(&process, window);
    window = nullptr;
    return ended;
}

HWND app_window() {
    return window;
}

bool app_running() {
    return process.hProcess != nullptr && WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT;
}

DWORD app_exit_code() {
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    return code;
}

std::wstring app_text(int control_id) {
    HWND control = GetDlgItem(window, control_id);
    LRESULT length = SendMessageW(control, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(wcslen(text.c_str()));
    return text;
}

bool app_checked(int control_id) {
    return SendMessageW(GetDlgItem(window, control_id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool app_visible(int control_id) {
    return (GetWindowLongW(GetDlgItem(window, control_id), GWL_STYLE) & WS_VISIBLE) != 0;
}

bool app_read_only(int control_id) {
    return (GetWindowLongW(GetDlgItem(window, control_id), GWL_STYLE) & ES_READONLY) != 0;
}

void app_set_text(int control_id, const wchar_t* text) {
    SendMessageW(GetDlgItem(window, control_id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

void app_click(int control_id) {
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(control_id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, control_id)));
}

void app_click_async(int control_id) {
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(control_id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, control_id)));
}

void app_set_check(int control_id, bool checked) {
    SendMessageW(GetDlgItem(window, control_id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED,
                 0);
}

std::wstring window_text(HWND hwnd) {
    const LRESULT length = SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(wcslen(text.c_str()));
    return text;
}

namespace {

struct ModalSearch {
    const wchar_t* caption;
    const wchar_t* window_class;
    HWND found;
};

BOOL CALLBACK find_modal(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<ModalSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != process.dwProcessId || hwnd == window || !IsWindowVisible(hwnd)) {
        return TRUE;
    }
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    if (search->window_class != nullptr && wcscmp(cls, search->window_class) != 0) {
        return TRUE;
    }
    if (search->caption != nullptr && window_text(hwnd) != search->caption) {
        return TRUE;
    }
    search->found = hwnd;
    return FALSE;
}

struct ChildSearch {
    const wchar_t* window_class;
    std::wstring best; // longest text so far
    HWND found;
};

BOOL CALLBACK find_child(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<ChildSearch*>(param);
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    if (_wcsicmp(cls, search->window_class) == 0) {
        std::wstring text = window_text(hwnd);
        if (search->found == nullptr || text.size() > search->best.size()) {
            search->found = hwnd;
            search->best = text;
        }
    }
    return TRUE;
}

// The file-name field: the combo box of the newer dialog templates (1148) or the edit of the
// older ones (1152); in a combo box the text goes to its edit.
HWND file_name_field(HWND dialog) {
    HWND field = nullptr;
    const int ids[] = {1148, 1152};
    for (int id : ids) {
        field = GetDlgItem(dialog, id);
        if (field == nullptr) {
            // Explorer-style dialogs built around a child dialog keep their controls one level
            // down.
            HWND child = FindWindowExW(dialog, nullptr, L"#32770", nullptr);
            field = child != nullptr ? GetDlgItem(child, id) : nullptr;
        }
        if (field != nullptr) {
            break;
        }
    }
    if (field == nullptr) {
        return nullptr;
    }
    wchar_t cls[64] = {};
    GetClassNameW(field, cls, 64);
    if (_wcsicmp(cls, L"Edit") != 0) {
        ChildSearch search{L"Edit", L"", nullptr};
        EnumChildWindows(field, find_child, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) {
            field = search.found;
        }
    }
    return field;
}

} // namespace

HWND app_modal(const wchar_t* caption, const wchar_t* window_class, DWORD timeout_ms) {
    ModalSearch search{caption, window_class, nullptr};
    wait_until(
        [&] {
            search.found = nullptr;
            EnumWindows(find_modal, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeout_ms);
    return search.found;
}

std::wstring message_box_text(HWND box) {
    ChildSearch search{L"Static", L"", nullptr};
    EnumChildWindows(box, find_child, reinterpret_cast<LPARAM>(&search));
    return search.best;
}

bool dialog_press(HWND dialog, int button_id, DWORD timeout_ms) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button_id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, button_id)));
    return wait_until([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, timeout_ms);
}

bool file_dialog_choose(HWND dialog, const wchar_t* name, int filter_index) {
    if (filter_index >= 0) {
        HWND filter = GetDlgItem(dialog, 1136); // the file-type combo box
        SendMessageW(filter, CB_SETCURSEL, static_cast<WPARAM>(filter_index), 0);
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(1136, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(filter));
    }
    HWND field = file_name_field(dialog);
    if (field == nullptr) {
        return false;
    }
    SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name));
    return dialog_press(dialog, IDOK);
}

std::wstring app_log() {
    return app_text(1004);
}

bool app_log_contains(const wchar_t* text) {
    return app_log().find(text) != std::wstring::npos;
}

int app_log_count(const wchar_t* text) {
    const std::wstring log = app_log();
    const std::wstring needle(text);
    int count = 0;
    for (size_t at = log.find(needle); at != std::wstring::npos;
         at = log.find(needle, at + needle.size())) {
        ++count;
    }
    return count;
}

std::vector<std::wstring> app_form() {
    std::vector<std::wstring> form;
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        const int id = settings_control_id(p);
        if (settings_value_kind(p) == VALUE_FLAG) {
            form.push_back(app_checked(id) ? L"[x]" : L"[ ]");
        } else {
            form.push_back(app_text(id));
        }
    }
    return form;
}

bool app_responds(DWORD timeout_ms) {
    DWORD_PTR result = 0;
    return window != nullptr &&
           SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, timeout_ms, &result) != 0;
}

// Wine reports no handle count for a process and no private usage: the handles are then counted
// in the system's handle table, and the memory taken from the commit charge (PagefileUsage), which
// Windows keeps equal to the private usage.
struct SystemHandleEntry {
    ULONG pid;
    BYTE type;
    BYTE flags;
    USHORT value;
    PVOID object;
    ULONG access;
};
struct SystemHandleTable {
    ULONG count;
    SystemHandleEntry entries[1];
};
using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

DWORD handles_in_system_table(DWORD pid) {
    auto query = reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr) {
        return 0;
    }
    std::vector<BYTE> buffer(1 << 16);
    const LONG INFO_LENGTH_MISMATCH = static_cast<LONG>(0xC0000004);
    const ULONG SYSTEM_HANDLE_INFORMATION = 16;
    LONG status;
    while ((status = query(SYSTEM_HANDLE_INFORMATION, buffer.data(),
                           static_cast<ULONG>(buffer.size()), nullptr)) == INFO_LENGTH_MISMATCH &&
           buffer.size() < (64u << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    if (status != 0) {
        return 0;
    }
    const auto* table = reinterpret_cast<const SystemHandleTable*>(buffer.data());
    DWORD count = 0;
    for (ULONG i = 0; i < table->count; ++i) {
        count += table->entries[i].pid == pid;
    }
    return count;
}

DWORD app_handle_count() {
    DWORD count = 0;
    if (process.hProcess == nullptr) {
        return 0;
    }
    GetProcessHandleCount(process.hProcess, &count);
    return count != 0 ? count : handles_in_system_table(process.dwProcessId);
}

SIZE_T app_private_bytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(process.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof(counters));
    return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
}

std::string emu(const char* command, int which) {
    static bool started = false;
    if (!started) {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        started = true;
    }
    char name[32];
    snprintf(name, sizeof(name), which == 1 ? "LUMIVO_EMU_CONTROL" : "LUMIVO_EMU%d_CONTROL", which);
    const char* port = getenv(name);
    if (port == nullptr) {
        return "";
    }
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        return "";
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(atoi(port)));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
        std::string line = std::string(command) + "\n";
        send(s, line.data(), static_cast<int>(line.size()), 0);
        char c;
        while (recv(s, &c, 1, 0) == 1 && c != '\n') {
            reply.push_back(c);
        }
    }
    closesocket(s);
    return reply;
}

bool emu_ok(const char* command, int which) {
    return emu(command, which).rfind("ok", 0) == 0;
}

long emu_requests(const char* kind, int which) {
    const std::string reply = emu("requests", which);
    std::string key(" ");
    key += kind;
    key += '=';
    const size_t at = reply.find(key);
    return at == std::string::npos ? -1 : atol(reply.c_str() + at + key.size());
}

std::wstring test_folder() {
    return env(L"LUMIVO_TEST_DIR");
}
