// Settings files on Windows: names arrive in UTF-8 and are opened through the wide API, long
// ones in their extended form, so any name the system can hold works. A new file content is put
// in place by file_replace_write, which never rewrites the old file.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "cli/platform.h"
#include "cli/text_win32.h"
#include "settings/file_replace.h"
#include "settings/long_path.h"

namespace {

constexpr size_t PATH_UNITS = 32768; // the longest path the system takes, with the terminator

void say_system_error(char why[PLATFORM_WHY_BYTES], DWORD error) {
    wchar_t text[PLATFORM_WHY_BYTES];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             error, 0, text, PLATFORM_WHY_BYTES, nullptr);
    // The system's texts end with a full stop and a line break; the sentence adds its own.
    while (n > 0 && (text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L'.' ||
                     text[n - 1] == L' ')) {
        --n;
    }
    text[n] = 0;
    if (n == 0 || !text_to_utf8(text, why, PLATFORM_WHY_BYTES)) {
        snprintf(why, PLATFORM_WHY_BYTES, "system error %lu", static_cast<unsigned long>(error));
    }
}

bool wide_path(const char* path, std::vector<wchar_t>* wide, char why[PLATFORM_WHY_BYTES]) {
    wide->assign(PATH_UNITS, 0);
    if (!text_to_wide(path, wide->data(), wide->size())) {
        snprintf(why, PLATFORM_WHY_BYTES, "the name is too long or not valid text");
        return false;
    }
    return true;
}

} // namespace

int platform_file_read(const char* path, uint8_t* buffer, size_t cap, size_t* n,
                       char why[PLATFORM_WHY_BYTES]) {
    std::vector<wchar_t> wide;
    std::vector<wchar_t> reach(PATH_UNITS, 0);
    if (!wide_path(path, &wide, why)) {
        return -1;
    }
    if (!long_path_reach(wide.data(), 0, reach.data(), reach.size())) {
        snprintf(why, PLATFORM_WHY_BYTES, "the name is too long");
        return -1;
    }
    HANDLE file = CreateFileW(reach.data(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        say_system_error(why, GetLastError());
        return -1;
    }
    size_t got = 0;
    while (got < cap) {
        DWORD read = 0;
        if (!ReadFile(file, buffer + got, static_cast<DWORD>(cap - got), &read, nullptr)) {
            say_system_error(why, GetLastError());
            CloseHandle(file);
            return -1;
        }
        if (read == 0) {
            break;
        }
        got += read;
    }
    CloseHandle(file);
    *n = got;
    return 0;
}

int platform_file_replace(const char* path, const uint8_t* bytes, size_t n,
                          char why[PLATFORM_WHY_BYTES]) {
    std::vector<wchar_t> wide;
    if (!wide_path(path, &wide, why)) {
        return -1;
    }
    switch (file_replace_write(wide.data(), bytes, n)) {
    case FILE_REPLACE_DONE:
        return 0;
    case FILE_REPLACE_CREATE_FAILED:
        snprintf(why, PLATFORM_WHY_BYTES, "no new file can be created in its folder");
        return -1;
    case FILE_REPLACE_WRITE_FAILED:
        snprintf(why, PLATFORM_WHY_BYTES, "the new file could not be written whole");
        return -1;
    default:
        snprintf(why, PLATFORM_WHY_BYTES, "the new file could not take the old one's place");
        return -1;
    }
}
