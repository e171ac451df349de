#include "settings/long_path.h"

#include <windows.h>

#include <cwchar>

namespace {

wchar_t full_path[LONG_PATH_UNITS];

bool copy_path(const wchar_t* path, wchar_t* out, size_t cap) {
    const size_t units = wcsnlen(path, cap);
    if (units >= cap) {
        return false;
    }
    wmemcpy(out, path, units + 1);
    return true;
}

} // namespace

bool long_path_reach(const wchar_t* path, size_t extra, wchar_t* out, size_t cap) {
    const size_t units = wcsnlen(path, LONG_PATH_FROM);
    if (units + extra < LONG_PATH_FROM) {
        return copy_path(path, out, cap);
    }
    const DWORD full = GetFullPathNameW(path, LONG_PATH_UNITS, full_path, nullptr);
    if (full == 0 || full >= LONG_PATH_UNITS) {
        return copy_path(path, out, cap);
    }
    return long_path_form(full_path, out, cap);
}
