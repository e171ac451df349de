#include "driver.h"

#include <psapi.h>
#include <winsock2.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

PROCESS_INFORMATION process{};
HWND window = nullptr;

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
    if (pid == ctx->pid && wcscmp(cls, L"#32770") == 0 && wcsncmp(caption, L"lumivo", 6) == 0) {
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

} // namespace

bool app_start(const wchar_t* arguments) {
    std::wstring exe = env(L"LUMIVO_EXE");
    if (exe.empty()) {
        return false;
    }
    std::wstring command = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    std::wstring buffer = command;
    if (!CreateProcessW(exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &process)) {
        return false;
    }
    window = nullptr;
    return wait_until(
        [] {
            FindContext ctx{process.dwProcessId, nullptr};
            EnumWindows(find_window, reinterpret_cast<LPARAM>(&ctx));
            window = ctx.found;
            return window != nullptr && IsWindowVisible(window);
        },
        15000);
}

void app_stop() {
    if (process.hProcess == nullptr) {
        return;
    }
    if (window != nullptr && IsWindow(window)) {
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, 5000);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    process = PROCESS_INFORMATION{};
    window = nullptr;
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

DWORD app_handle_count() {
    DWORD count = 0;
    GetProcessHandleCount(process.hProcess, &count);
    return count;
}

SIZE_T app_private_bytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(process.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof(counters));
    return counters.PrivateUsage;
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

std::wstring test_folder() {
    return env(L"LUMIVO_TEST_DIR");
}
