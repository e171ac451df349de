// The system console as Linux names it, read from /sys and /proc, and a port's device number to
// compare with it. Elsewhere the files are absent, and no port is the console.
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <cstring>

#include "link/port_console.h"
#include "link/port_list.h"

namespace {

constexpr size_t CONSOLE_FILE_BYTES = 8192; // far more than a handful of consoles need

// The start of a small file from /sys or /proc as text, in `cap` bytes with the terminator;
// false when it cannot be read.
bool read_text(const char* path, char* text, size_t cap) {
    FILE* f = fopen(path, "re");
    if (f == nullptr) {
        return false;
    }
    const size_t n = fread(text, 1, cap - 1, f);
    fclose(f);
    text[n] = 0;
    return true;
}

// The device number of /dev/NAME as the kernel gives it in /sys/class/tty/NAME/dev ("4:64"),
// or, where /sys does not list it, of the device node itself.
bool number_of(const char* name, ConsoleDevice* device) {
    char path[128];
    char text[32];
    unsigned major_number = 0;
    unsigned minor_number = 0;
    snprintf(path, sizeof path, "/sys/class/tty/%s/dev", name);
    if (read_text(path, text, sizeof text) &&
        sscanf(text, "%u:%u", &major_number, &minor_number) == 2) {
        *device = {major_number, minor_number};
        return true;
    }
    snprintf(path, sizeof path, "/dev/%s", name);
    struct stat st {};
    if (stat(path, &st) != 0 || !S_ISCHR(st.st_mode)) {
        return false;
    }
    *device = {major(st.st_rdev), minor(st.st_rdev)};
    return true;
}

} // namespace

bool port_is_console(const char* name) {
    struct stat st {};
    if (stat(name, &st) != 0 || !S_ISCHR(st.st_mode)) {
        return false;
    }
    char active[CONSOLE_FILE_BYTES];
    char consoles[CONSOLE_FILE_BYTES];
    const bool have_active = read_text("/sys/class/tty/console/active", active, sizeof active);
    const bool have_consoles = read_text("/proc/consoles", consoles, sizeof consoles);
    ConsoleDevices found{};
    console_devices_parse(have_active ? active : nullptr, have_consoles ? consoles : nullptr,
                          number_of, &found);
    return console_devices_has(&found, {major(st.st_rdev), minor(st.st_rdev)});
}
