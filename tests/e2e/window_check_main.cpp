// For the release tests under Wine: looks at a lumivo24.exe started by someone else (through the
// Start-menu shortcut, or by opening a .lv24 file) the way the technician would see it.
//
//   lumivo_window_check started          its window appears with the program's caption; the
//                                        program's path is printed on the first line
//   lumivo_window_check loaded PATH      ... and the status log says the file PATH was read
//   lumivo_window_check close            the window is closed and goes away
//
// Prints the status log as UTF-8 and exits 0 when the check holds, 1 when it does not.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>

#include "driver.h"

namespace {

void print_utf8(const std::wstring& text) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                          nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), bytes,
                        nullptr, nullptr);
    fwrite(out.data(), 1, out.size(), stdout);
    fflush(stdout);
}

bool has_program_caption() {
    wchar_t caption[256] = {};
    GetWindowTextW(app_window(), caption, 256);
    return std::wstring(caption).rfind(L"lumivo, Version: ", 0) == 0;
}

// The path of the program that owns the window.
std::wstring program_path() {
    DWORD pid = 0;
    GetWindowThreadProcessId(app_window(), &pid);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (process != nullptr) {
        if (!QueryFullProcessImageNameW(process, 0, path, &size)) {
            path[0] = 0;
        }
        CloseHandle(process);
    }
    return path;
}

bool window_gone(DWORD timeout_ms) {
    HWND window = app_window();
    PostMessageW(window, WM_CLOSE, 0, 0);
    return wait_until([&] { return !IsWindow(window); }, timeout_ms);
}

} // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const std::wstring check = argc > 1 ? argv[1] : L"";
    if (!app_attach(30000)) {
        fprintf(stderr, "no window of the program appeared\n");
        return 1;
    }
    bool ok = false;
    if (check == L"started") {
        ok = has_program_caption();
        print_utf8(L"program: " + program_path() + L"\n");
    } else if (check == L"loaded" && argc > 2) {
        const std::wstring line = std::wstring(L"Данные прочитаны из файла \"") + argv[2] + L"\".";
        ok = wait_until([&] { return app_log_contains(line.c_str()); }, 15000);
    } else if (check == L"close") {
        ok = window_gone(15000);
    } else {
        fprintf(stderr, "usage: lumivo_window_check started | loaded PATH | close\n");
        return 1;
    }
    if (check != L"close") {
        print_utf8(app_log());
    }
    return ok ? 0 : 1;
}
