// The serial ports of a Linux system that a controller may be on: USB adapters, ACM modems,
// the AMA and Bluetooth serial devices, and the ttyS ports with a UART behind them, each kind in
// the order of its numbers.
#include <glob.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "link/port_list.h"

namespace {

// A ttyS device is listed for every possible 8250 port; only those with a UART behind them
// (a type other than 0, "unknown") are real.
bool has_uart(const char* device) {
    const char* base = strrchr(device, '/');
    char path[PORT_NAME_BYTES + 32];
    snprintf(path, sizeof path, "/sys/class/tty/%s/type", base != nullptr ? base + 1 : device);
    FILE* f = fopen(path, "r");
    if (f == nullptr) {
        return false;
    }
    int type = 0;
    const bool read = fscanf(f, "%d", &type) == 1;
    fclose(f);
    return read && type != 0;
}

// Orders names with their numbers as numbers: ttyS2 before ttyS10.
int natural_compare(const void* a, const void* b) {
    const char* x = static_cast<const char*>(a);
    const char* y = static_cast<const char*>(b);
    while (*x != 0 && *y != 0) {
        if (*x >= '0' && *x <= '9' && *y >= '0' && *y <= '9') {
            char* x_end = nullptr;
            char* y_end = nullptr;
            const unsigned long nx = strtoul(x, &x_end, 10);
            const unsigned long ny = strtoul(y, &y_end, 10);
            if (nx != ny) {
                return nx < ny ? -1 : 1;
            }
            x = x_end;
            y = y_end;
            continue;
        }
        if (*x != *y) {
            return static_cast<unsigned char>(*x) < static_cast<unsigned char>(*y) ? -1 : 1;
        }
        ++x;
        ++y;
    }
    return (*x != 0) - (*y != 0);
}

} // namespace

size_t port_candidates(char names[][PORT_NAME_BYTES], size_t cap) {
    static const char* const PATTERNS[] = {"/dev/ttyUSB*", "/dev/ttyACM*", "/dev/ttyAMA*",
                                           "/dev/rfcomm*", "/dev/ttyS*"};
    size_t n = 0;
    for (const char* pattern : PATTERNS) {
        glob_t found{};
        if (glob(pattern, 0, nullptr, &found) != 0) {
            globfree(&found);
            continue;
        }
        const size_t first = n;
        const bool uart_only = strcmp(pattern, "/dev/ttyS*") == 0;
        for (size_t i = 0; i < found.gl_pathc && n < cap; ++i) {
            const char* path = found.gl_pathv[i];
            if (strlen(path) >= PORT_NAME_BYTES || (uart_only && !has_uart(path))) {
                continue;
            }
            memcpy(names[n++], path, strlen(path) + 1);
        }
        globfree(&found);
        qsort(names[first], n - first, PORT_NAME_BYTES, natural_compare);
    }
    return n;
}
