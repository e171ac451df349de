#include "base/text_win32.h"

#include <windows.h>

#include <cstdio>

bool text_to_wide(const char* utf8, wchar_t* out, size_t cap) {
    if (cap == 0) {
        return false;
    }
    const int n =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, out, static_cast<int>(cap));
    if (n <= 0) {
        out[0] = 0;
        return false;
    }
    return true;
}

bool text_to_utf8(const wchar_t* wide, char* out, size_t cap) {
    if (cap == 0) {
        return false;
    }
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, out, static_cast<int>(cap), nullptr, nullptr);
    if (n <= 0) {
        out[0] = 0;
        return false;
    }
    return true;
}

void text_system_error(unsigned long error, char* out, size_t cap) {
    constexpr DWORD TEXT_UNITS = 256;
    wchar_t text[TEXT_UNITS];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             error, 0, text, TEXT_UNITS, nullptr);
    while (n > 0 && (text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L'.' ||
                     text[n - 1] == L' ')) {
        --n;
    }
    text[n] = 0;
    if (n == 0 || !text_to_utf8(text, out, cap)) {
        snprintf(out, cap, "system error %lu", error);
    }
}
