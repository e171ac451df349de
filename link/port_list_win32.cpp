// The serial ports Windows lists (HARDWARE\DEVICEMAP\SERIALCOMM), by number, each once, named
// as the system names them ("COM5").
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "link/port_list.h"
#include "link/port_name.h"

namespace {

int compare_numbers(const void* a, const void* b) {
    const long x = *static_cast<const long*>(a);
    const long y = *static_cast<const long*>(b);
    return (x > y) - (x < y);
}

} // namespace

size_t port_candidates(char names[][PORT_NAME_BYTES], size_t cap) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return 0; // no key: no serial ports
    }
    static long numbers[PORT_CANDIDATES_MAX];
    size_t n = 0;
    for (DWORD index = 0; n < cap && n < PORT_CANDIDATES_MAX; ++index) {
        wchar_t value_name[16384];
        DWORD name_units = 16384;
        char16_t data[512] = {};
        DWORD data_bytes = sizeof data;
        DWORD type = 0;
        const LONG result = RegEnumValueW(key, index, value_name, &name_units, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &data_bytes);
        if (result == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (result != ERROR_SUCCESS || type != REG_SZ) {
            continue; // a value that cannot be read is passed over
        }
        // The number as the window program reads it: from the fourth unit on.
        const int32_t number = port_number_parse(data, data_bytes / sizeof(char16_t));
        if (number > 0) {
            numbers[n++] = number;
        }
    }
    RegCloseKey(key);
    qsort(numbers, n, sizeof numbers[0], compare_numbers);
    size_t listed = 0;
    for (size_t i = 0; i < n; ++i) {
        if (listed == 0 || numbers[i] != numbers[i - 1]) {
            snprintf(names[listed++], PORT_NAME_BYTES, "COM%ld", numbers[i]);
        }
    }
    return listed;
}

bool port_is_console(const char*) {
    return false;
}
