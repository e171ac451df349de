// The backup folder on Windows, below the user's local application data.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/text_win32.h"
#include "cli/backup_folder.h"

namespace {

constexpr size_t PATH_UNITS = 32768; // the longest path the system takes, with the terminator

int failed(char why[FILE_WHY_BYTES], const char* text) {
    snprintf(why, FILE_WHY_BYTES, "%s", text);
    return -1;
}

} // namespace

int backup_folder(char folder[BACKUP_FOLDER_BYTES], char why[FILE_WHY_BYTES]) {
    std::vector<wchar_t> base(PATH_UNITS, 0);
    const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", base.data(), PATH_UNITS);
    if (n == 0 || n >= PATH_UNITS) {
        return failed(why, "the folder for local application data is not known (LOCALAPPDATA is "
                           "not set)");
    }
    std::wstring path(base.data(), n);
    while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) {
        path.pop_back();
    }
    for (const wchar_t* part : {L"\\LUMIVO24", L"\\backups"}) {
        path += part;
        if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            char reason[FILE_WHY_BYTES];
            text_system_error(GetLastError(), reason, sizeof reason);
            char name[FILE_WHY_BYTES];
            text_to_utf8(path.c_str(), name, sizeof name);
            snprintf(why, FILE_WHY_BYTES, "cannot create the folder %s: %s", name, reason);
            return -1;
        }
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return failed(why, "the backup folder is not a folder");
    }
    if (!text_to_utf8(path.c_str(), folder, BACKUP_FOLDER_BYTES)) {
        return failed(why, "the backup folder's name is too long");
    }
    return 0;
}
