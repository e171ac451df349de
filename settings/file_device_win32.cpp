#include "settings/file_device.h"

#include <cwchar>

namespace {

constexpr DWORD PATH_UNITS = 32768; // the longest path the system takes, with the terminator

bool starts_with(const wchar_t* text, const wchar_t* head) {
    return wcsncmp(text, head, wcslen(head)) == 0;
}

} // namespace

bool file_names_device(const wchar_t* path) {
    static wchar_t full[PATH_UNITS];
    const DWORD n = GetFullPathNameW(path, PATH_UNITS, full, nullptr);
    return starts_with(path, L"\\\\.\\") ||
           (n > 0 && n < PATH_UNITS && starts_with(full, L"\\\\.\\"));
}

// Opening does not wait on any of these: Windows opens ports, pipes and consoles at once, and
// Wine opens a FIFO without waiting for its writer. The type of the handle then tells a file on
// a disk (FILE_TYPE_DISK) from a device (FILE_TYPE_CHAR) or a pipe or FIFO (FILE_TYPE_PIPE).
HANDLE file_open_disk_file(const wchar_t* path, const wchar_t* device_check) {
    if (file_names_device(device_check)) {
        return INVALID_HANDLE_VALUE;
    }
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return file;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}
