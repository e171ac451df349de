// For scripts/demo on a virtual display: waits for the running program to connect to the
// controller, clicks "Прочитать" of "Настройки", waits until the settings are shown, and prints
// the status log as UTF-8. The program is left running for its screenshot.
#include <windows.h>

#include <cstdio>
#include <string>

#include "driver.h"

namespace {

void print_log() {
    const std::wstring log = app_log();
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, log.c_str(), static_cast<int>(log.size()),
                                          nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, log.c_str(), static_cast<int>(log.size()), text.data(), bytes,
                        nullptr, nullptr);
    fwrite(text.data(), 1, text.size(), stdout);
    fflush(stdout);
}

bool wait_line(const wchar_t* line, DWORD ms) {
    return wait_until([&] { return app_log_contains(line); }, ms);
}

} // namespace

int main() {
    if (!app_attach(30000)) {
        fprintf(stderr, "the program's window did not appear\n");
        return 1;
    }
    if (!wait_line(L"Контроллер подключен.", 30000)) {
        fprintf(stderr, "the controller was not found\n");
        print_log();
        return 1;
    }
    app_click(16);
    if (!wait_line(L"Данные прочитаны из контроллера.", 10000)) {
        fprintf(stderr, "the settings were not read\n");
        print_log();
        return 1;
    }
    Sleep(1500); // a few more polls, so that the readings are fresh
    print_log();
    return 0;
}
