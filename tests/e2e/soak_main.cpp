// A long run of the program against the controller emulator: a settings read or write every few
// seconds, the cable pulled and put back every minute, and the program's memory and handle
// counts compared at the start and the end. Run through scripts/soak; prints its figures and
// exits nonzero when a transfer or a reconnection failed or memory or handles grew.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "driver.h"
#include "resources/resource_ids.h"

namespace {

const wchar_t CONNECTED[] = L"Контроллер подключен.";
const wchar_t DISCONNECTED[] = L"Контроллер отключен.";
const wchar_t READ_DONE[] = L"Данные прочитаны из контроллера.";
const wchar_t WRITTEN[] = L"Данные записаны в контроллер.";

constexpr DWORD TRANSFER_EVERY_MS = 3000;
constexpr DWORD REPLUG_EVERY_MS = 60000;
constexpr SIZE_T MEMORY_TOLERANCE = 512 * 1024; // bytes of private memory the run may gain
constexpr DWORD HANDLE_TOLERANCE = 4;           // handles the run may gain

// Remembers the log as it stands, to see the lines that come after. The program replaces the
// whole log when it is full; then every line of the new log is new.
struct LogMark {
    std::wstring before;
};

LogMark log_mark() {
    return LogMark{app_log()};
}

bool appeared_since(const LogMark& mark, const wchar_t* line) {
    const std::wstring now = app_log();
    if (now.size() >= mark.before.size() && now.compare(0, mark.before.size(), mark.before) == 0) {
        return now.find(line, mark.before.size()) != std::wstring::npos;
    }
    return now.find(line) != std::wstring::npos;
}

bool wait_line(const LogMark& mark, const wchar_t* line, DWORD timeout_ms) {
    return wait_until([&] { return appeared_since(mark, line); }, timeout_ms);
}

bool transfer(int button, const wchar_t* line) {
    const LogMark mark = log_mark();
    app_click(button);
    return wait_line(mark, line, 10000);
}

bool replug() {
    const LogMark mark = log_mark();
    if (!emu_ok("unplug") || !wait_line(mark, DISCONNECTED, 10000)) {
        emu("plug");
        return false;
    }
    Sleep(500);
    return emu_ok("plug") && wait_line(mark, CONNECTED, 30000) &&
           wait_until([] { return !app_read_only(IDC_SENSOR1_MIN); }, 5000);
}

void settle() {
    Sleep(3000); // lets the heap and the handle table come to rest after a transfer
}

} // namespace

int main() {
    const char* minutes_text = getenv("LUMIVO_SOAK_MINUTES");
    const double minutes = minutes_text != nullptr ? atof(minutes_text) : 10.0;

    emu("plug");
    emu_ok("reset-faults");
    emu_ok("defaults");
    emu_ok("silent off");
    if (!app_start() || !wait_until([] { return app_log_contains(CONNECTED); }, 20000)) {
        printf("the program did not connect\n");
        app_stop();
        return 1;
    }
    // One round of everything first, so that one-time allocations are not counted as growth.
    bool warm =
        transfer(IDC_DEVICE_READ, READ_DONE) && transfer(IDC_DEVICE_WRITE, WRITTEN) && replug();
    settle();
    const SIZE_T memory_start = app_private_bytes();
    const DWORD handles_start = app_handle_count();
    const long polls_start = emu_requests("status");

    long transfers = 0, transfers_failed = 0, reconnects = 0, reconnects_failed = 0;
    const ULONGLONG start = GetTickCount64();
    const ULONGLONG end = start + static_cast<ULONGLONG>(minutes * 60000.0);
    ULONGLONG next_replug = start + REPLUG_EVERY_MS;
    bool read_turn = true;
    while (GetTickCount64() < end && app_running()) {
        Sleep(TRANSFER_EVERY_MS);
        if (GetTickCount64() >= next_replug) {
            next_replug += REPLUG_EVERY_MS;
            (replug() ? reconnects : reconnects_failed) += 1;
            continue;
        }
        const bool ok =
            read_turn ? transfer(IDC_DEVICE_READ, READ_DONE) : transfer(IDC_DEVICE_WRITE, WRITTEN);
        read_turn = !read_turn;
        (ok ? transfers : transfers_failed) += 1;
    }
    const long polls = emu_requests("status") - polls_start;
    const bool running = app_running() && app_responds(2000);
    settle();
    const SIZE_T memory_end = app_private_bytes();
    const DWORD handles_end = app_handle_count();
    app_stop();

    const bool memory_ok = memory_end <= memory_start + MEMORY_TOLERANCE;
    const bool handles_ok = handles_end <= handles_start + HANDLE_TOLERANCE;
    printf("%-40s %12.1f\n", "minutes", minutes);
    printf("%-40s %12ld\n", "status polls made", polls);
    printf("%-40s %12ld\n", "settings transfers done", transfers);
    printf("%-40s %12ld\n", "settings transfers failed", transfers_failed);
    printf("%-40s %12ld\n", "reconnections done", reconnects);
    printf("%-40s %12ld\n", "reconnections failed", reconnects_failed);
    printf("%-40s %12.0f\n", "private memory at the start (KiB)", memory_start / 1024.0);
    printf("%-40s %12.0f\n", "private memory at the end (KiB)", memory_end / 1024.0);
    printf("%-40s %12lu\n", "handles at the start", static_cast<unsigned long>(handles_start));
    printf("%-40s %12lu\n", "handles at the end", static_cast<unsigned long>(handles_end));
    const bool pass = warm && running && transfers_failed == 0 && reconnects_failed == 0 &&
                      memory_ok && handles_ok;
    printf("%s%s%s%s%s\n", pass ? "PASS" : "FAIL:", warm ? "" : " warm-up failed;",
           running ? "" : " the program stopped or hung;", memory_ok ? "" : " memory grew;",
           handles_ok ? "" : " handles grew;");
    fflush(stdout);
    return pass ? 0 : 1;
}
