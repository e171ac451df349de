// Figures of the program against the controller emulator, printed as a table: start-up to
// connected, status polls per second, settings read and write turnaround, processor time and
// memory. Run through scripts/bench; these are measurements, not pass/fail tests.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver.h"

namespace {

double now_ms() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

// Number of requests of one kind the emulator has answered ("status", "read", "write", ...).
long emu_requests(const char* kind) {
    const std::string reply = emu("requests");
    const std::string key = std::string(kind) + "=";
    const size_t at = reply.find(key);
    return at == std::string::npos ? -1 : atol(reply.c_str() + at + key.size());
}

double median(std::vector<double> v) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Clicks a controller button and measures until its log line has appeared once more.
double turnaround(int button, const wchar_t* line) {
    const int before = app_log_count(line);
    const double start = now_ms();
    app_click(button);
    if (!wait_until([&] { return app_log_count(line) > before; }, 5000)) {
        return -1;
    }
    return now_ms() - start;
}

double process_cpu_ms(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        return 0;
    }
    auto ms = [](FILETIME t) {
        return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) |
                                   t.dwLowDateTime) /
               10000.0;
    };
    return ms(kernel) + ms(user);
}

HANDLE program_process() {
    DWORD pid = 0;
    GetWindowThreadProcessId(app_window(), &pid);
    return OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
}

} // namespace

int main() {
    const char* seconds_text = getenv("LUMIVO_BENCH_SECONDS");
    const int seconds = seconds_text != nullptr ? atoi(seconds_text) : 60;

    emu_ok("silent on");
    const double t0 = now_ms();
    if (!app_start()) {
        printf("the program did not start\n");
        return 1;
    }
    const double window_ms = now_ms() - t0;
    HANDLE process = program_process();
    Sleep(3000);
    const double memory_before = static_cast<double>(app_private_bytes()) / 1024.0;
    const double idle_cpu0 = process_cpu_ms(process);
    const double idle_wall0 = now_ms();
    Sleep(10000);
    const double idle_cpu = 100.0 * (process_cpu_ms(process) - idle_cpu0) / (now_ms() - idle_wall0);
    app_stop();

    // Start-up to connected, with the controller answering from the start.
    emu_ok("silent off");
    const double s0 = now_ms();
    app_start();
    const bool connected =
        wait_until([] { return app_log_contains(L"Контроллер подключен."); }, 15000);
    const double connect_ms = now_ms() - s0;
    process = program_process();

    Sleep(1000);
    const long polls0 = emu_requests("status");
    const double cpu0 = process_cpu_ms(process);
    const double wall0 = now_ms();
    Sleep(static_cast<DWORD>(seconds) * 1000);
    const double wall = now_ms() - wall0;
    const long polls = emu_requests("status") - polls0;
    const double busy_cpu = 100.0 * (process_cpu_ms(process) - cpu0) / wall;
    const double memory_during = static_cast<double>(app_private_bytes()) / 1024.0;

    std::vector<double> reads, writes;
    for (int i = 0; i < 5; ++i) {
        reads.push_back(turnaround(16, L"Данные прочитаны из контроллера."));
        writes.push_back(turnaround(15, L"Данные записаны в контроллер."));
    }

    emu_ok("silent on");
    wait_until([] { return app_log_contains(L"Контроллер отключен."); }, 5000);
    Sleep(2000);
    const double memory_after = static_cast<double>(app_private_bytes()) / 1024.0;
    app_stop();
    emu_ok("silent off");

    printf("%-44s %12s %s\n", "figure", "value", "target");
    printf("%-44s %12.0f %s\n", "window shown after start (ms)", window_ms, "");
    printf("%-44s %12.0f %s\n", "start-up to \"connected\" (ms)", connected ? connect_ms : -1.0,
           "< 1500");
    printf("%-44s %12.2f %s\n", "status polls per second", polls / (wall / 1000.0), "5.0");
    printf("%-44s %12ld %s\n", "polls missed", 5L * seconds - polls, "0");
    printf("%-44s %12.0f %s\n", "click to settings shown (ms, median of 5)", median(reads),
           "< 800");
    printf("%-44s %12.0f %s\n", "click to written (ms, median of 5)", median(writes), "< 300");
    printf("%-44s %12.1f %s\n", "CPU while connected (% of one core)", busy_cpu, "");
    printf("%-44s %12.1f %s\n", "CPU while idle, scanning (% of one core)", idle_cpu, "");
    printf("%-44s %12.0f %s\n", "private memory before a connection (KiB)", memory_before, "");
    printf("%-44s %12.0f %s\n", "private memory while connected (KiB)", memory_during, "");
    printf("%-44s %12.0f %s\n", "private memory after the connection (KiB)", memory_after,
           "= before");
    return connected ? 0 : 1;
}
