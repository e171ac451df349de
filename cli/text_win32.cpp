#include "cli/text_win32.h"

#include <windows.h>

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
