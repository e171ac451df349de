// Figures of the program against the controller emulator, printed as a table: start-up to
// connected, status polls per second, settings read and write turnaround, processor time and
// memory. Run through scripts/bench; these are measurements, not pass/fail tests.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// Wine does not report another process's processor time or memory through the Win32 calls, so
// both are read from the Linux side, through the Z: drive: the program's process is the one whose
// command line is the program's path.
std::string read_small_file(const std::string& path) {
    std::string text;
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return text;
    }
    char buffer[4096];
    const size_t n = fread(buffer, 1, sizeof(buffer), f);
    fclose(f);
    text.assign(buffer, n);
    return text;
}

std::string program_pid() {
    const char* exe = getenv("LUMIVO_EXE");
    if (exe == nullptr) {
        return "";
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE) {
        return "";
    }
    std::string pid;
    do {
        const std::string name = found.cFileName;
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const std::string command = read_small_file("Z:\\proc\\" + name + "\\cmdline");
        if (_stricmp(command.c_str(), exe) == 0) {
            pid = name;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return pid;
}

// User and system time of the process in ms (clock ticks of 10 ms).
double process_cpu_ms(const std::string& pid) {
    const std::string stat = read_small_file("Z:\\proc\\" + pid + "\\stat");
    const size_t end = stat.rfind(')');
    if (pid.empty() || end == std::string::npos) {
        return 0;
    }
    // Fields after the name: state is the first, utime the 12th, stime the 13th.
    const char* at = stat.c_str() + end + 2;
    double ticks = 0;
    for (int field = 1; field <= 13 && *at != 0; ++field) {
        if (field >= 12) {
            ticks += atof(at);
        }
        at = strchr(at, ' ');
        if (at == nullptr) {
            break;
        }
        ++at;
    }
    return ticks * 10.0;
}

// Anonymous resident memory of the process in KiB: the heap, where the link buffers live.
double process_memory_kib(const std::string& pid) {
    const std::string status = read_small_file("Z:\\proc\\" + pid + "\\status");
    const size_t at = status.find("RssAnon:");
    return pid.empty() || at == std::string::npos ? 0 : atof(status.c_str() + at + 8);
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
    std::string process = program_pid();
    Sleep(3000);
    const double memory_before = process_memory_kib(process);
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
    process = program_pid();

    Sleep(1000);
    const long polls0 = emu_requests("status");
    const double cpu0 = process_cpu_ms(process);
    const double wall0 = now_ms();
    Sleep(static_cast<DWORD>(seconds) * 1000);
    const double wall = now_ms() - wall0;
    const long polls = emu_requests("status") - polls0;
    const double busy_cpu = 100.0 * (process_cpu_ms(process) - cpu0) / wall;
    const double memory_during = process_memory_kib(process);

    std::vector<double> reads, writes;
    for (int i = 0; i < 5; ++i) {
        reads.push_back(turnaround(16, L"Данные прочитаны из контроллера."));
        writes.push_back(turnaround(15, L"Данные записаны в контроллер."));
    }

    emu_ok("silent on");
    wait_until([] { return app_log_contains(L"Контроллер отключен."); }, 5000);
    Sleep(2000);
    const double memory_after = process_memory_kib(process);
    // Five more connections in the same process: what one connection keeps shows as growth here.
    for (int i = 2; i <= 6; ++i) {
        emu_ok("silent off");
        wait_until([&] { return app_log_count(L"Контроллер подключен.") >= i; }, 15000);
        emu_ok("silent on");
        wait_until([&] { return app_log_count(L"Контроллер отключен.") >= i; }, 5000);
    }
    Sleep(2000);
    const double memory_after_more = process_memory_kib(process);
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
    printf("%-44s %12.0f %s\n", "anonymous memory, idle program (KiB)", memory_before, "");
    printf("%-44s %12.0f %s\n", "anonymous memory while connected (KiB)", memory_during, "");
    printf("%-44s %12.0f %s\n", "anonymous memory after the connection (KiB)", memory_after, "");
    printf("%-44s %12.0f %s\n", "... after five more connections (KiB)", memory_after_more,
           "= after");
    return connected ? 0 : 1;
}
