// Settings files on Windows: names arrive in UTF-8 and are opened through the wide API, long
// ones in their extended form, so any name the system can hold works. A new file content is put
// in place by file_replace_write, which never rewrites the old file, or file_replace_create,
// which never replaces one.
//
// Before a file is replaced, its name is looked at: a symbolic link (a reparse point) is followed
// to the file it leads to, which is then replaced, so the link stays; a folder, a device (NUL,
// COM1, CON, with or without an extension where the system still takes those), a read-only
// file and a file with several names (hard links, which the replacement would split) are
// refused before anything is written. Reading takes only a file on a disk: a device or a pipe
// is refused at once, a device name before it is opened, so that reading never waits on CON or
// a pipe and never opens a COM port.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "base/text_win32.h"
#include "settings/file_device.h"
#include "settings/file_replace.h"
#include "settings/long_path.h"

namespace {

constexpr size_t PATH_UNITS = 32768; // the longest path the system takes, with the terminator

void say_system_error(char why[FILE_WHY_BYTES], DWORD error) {
    text_system_error(error, why, FILE_WHY_BYTES);
}

FilePutResult failed(char why[FILE_WHY_BYTES], const char* text) {
    snprintf(why, FILE_WHY_BYTES, "%s", text);
    return FILE_PUT_FAILED;
}

// An empty name, or one that ends in a separator, names no file.
const char* name_refusal(const wchar_t* path) {
    const size_t n = wcslen(path);
    if (n == 0) {
        return "the file name is empty";
    }
    if (path[n - 1] == L'\\' || path[n - 1] == L'/') {
        const DWORD attributes = GetFileAttributesW(path);
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)
                   ? "it is a folder"
                   : "a name ending in '\\' names a folder, not a file";
    }
    return nullptr;
}

// The number of names (hard links) of the existing file at `path`; 1 where the system will not
// say.
DWORD name_count(const wchar_t* path) {
    HANDLE file = CreateFileW(path, FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    return known && info.nNumberOfLinks > 1 ? info.nNumberOfLinks : 1;
}

// Looks at what stands at `path` before it is replaced: gives in *target the name to write (the
// file a link leads to, or the path itself) and returns true, or returns false with the reason
// in `why`.
bool may_replace(const wchar_t* path, std::vector<wchar_t>* target, char why[FILE_WHY_BYTES]) {
    const char* refused = name_refusal(path);
    if (refused == nullptr && file_names_device(path)) {
        refused = "it is a device, not a file";
    }
    std::vector<wchar_t> reach(PATH_UNITS, 0);
    if (refused == nullptr && !long_path_reach(path, 0, reach.data(), reach.size())) {
        refused = "the name is too long";
    }
    if (refused != nullptr) {
        failed(why, refused);
        return false;
    }
    target->assign(reach.begin(), reach.end());
    DWORD attributes = GetFileAttributesW(reach.data());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return true; // a new file; a missing folder is reported when it is created
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        // Opened without FILE_FLAG_OPEN_REPARSE_POINT, the handle is the file the link leads to.
        HANDLE file =
            CreateFileW(reach.data(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            failed(why, "it is a link to a file that does not exist or cannot be reached");
            return false;
        }
        const DWORD n = GetFinalPathNameByHandleW(file, target->data(), PATH_UNITS,
                                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        CloseHandle(file);
        if (n == 0 || n >= PATH_UNITS) {
            failed(why, "the file its link leads to cannot be named");
            return false;
        }
        attributes = GetFileAttributesW(target->data());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            failed(why, "the file its link leads to cannot be found");
            return false;
        }
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        failed(why, "it is a folder");
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        failed(why, "it is read-only");
        return false;
    }
    const DWORD names = name_count(target->data());
    if (names > 1) {
        snprintf(why, FILE_WHY_BYTES,
                 "it has %lu names (hard links), and a new file would take only this one, leaving "
                 "the old content under the others; save to another name and copy that over it "
                 "(copy keeps the names together), or remove the other names first",
                 static_cast<unsigned long>(names));
        return false;
    }
    return true;
}

// Why a file opened for reading is refused: null for a file on a disk.
const char* read_refusal(HANDLE file) {
    switch (GetFileType(file)) {
    case FILE_TYPE_DISK:
        return nullptr;
    case FILE_TYPE_PIPE:
        return "it is a pipe, not a file";
    case FILE_TYPE_CHAR:
        return "it is a device, not a file";
    default:
        return "it is not a file";
    }
}

// The UTF-16 operations' failed step, said in words as the UTF-8 operations report it.
FilePutResult put_result(FilePutResult result, char why[FILE_WHY_BYTES]) {
    switch (result) {
    case FILE_PUT_DONE:
    case FILE_PUT_EXISTS:
    case FILE_PUT_CANCELLED:
        return result;
    case FILE_PUT_CREATE_FAILED:
        return failed(why, "no new file can be created in its folder");
    case FILE_PUT_WRITE_FAILED:
        return failed(why, "the new file could not be written whole");
    default:
        return failed(why, "the new file could not take the old one's place");
    }
}

bool wide_path(const char* path, std::vector<wchar_t>* wide, char why[FILE_WHY_BYTES]) {
    wide->assign(PATH_UNITS, 0);
    if (!text_to_wide(path, wide->data(), wide->size())) {
        snprintf(why, FILE_WHY_BYTES, "the name is too long or not valid text");
        return false;
    }
    return true;
}

} // namespace

int file_read(const char* path, uint8_t* buffer, size_t cap, size_t* n, char why[FILE_WHY_BYTES]) {
    std::vector<wchar_t> wide;
    std::vector<wchar_t> reach(PATH_UNITS, 0);
    if (!wide_path(path, &wide, why)) {
        return -1;
    }
    if (file_names_device(wide.data())) {
        snprintf(why, FILE_WHY_BYTES, "it is a device, not a file");
        return -1;
    }
    if (!long_path_reach(wide.data(), 0, reach.data(), reach.size())) {
        snprintf(why, FILE_WHY_BYTES, "the name is too long");
        return -1;
    }
    const DWORD attributes = GetFileAttributesW(reach.data());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        snprintf(why, FILE_WHY_BYTES, "it is a folder");
        return -1;
    }
    HANDLE file = CreateFileW(reach.data(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        say_system_error(why, GetLastError());
        return -1;
    }
    if (const char* refused = read_refusal(file)) {
        snprintf(why, FILE_WHY_BYTES, "%s", refused);
        CloseHandle(file);
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

FilePutResult file_put(const char* path, const uint8_t* bytes, size_t n, FileProceed proceed,
                       char why[FILE_WHY_BYTES]) {
    std::vector<wchar_t> wide;
    std::vector<wchar_t> target;
    if (!wide_path(path, &wide, why)) {
        return FILE_PUT_FAILED;
    }
    if (!may_replace(wide.data(), &target, why)) {
        return FILE_PUT_FAILED;
    }
    if (proceed != nullptr && !proceed()) {
        return FILE_PUT_CANCELLED;
    }
    return put_result(file_replace_write(target.data(), bytes, n, proceed), why);
}

bool file_name_taken(const char* path) {
    std::vector<wchar_t> wide;
    std::vector<wchar_t> reach(PATH_UNITS, 0);
    char why[FILE_WHY_BYTES];
    if (!wide_path(path, &wide, why) || wide[0] == 0) {
        return false;
    }
    if (file_names_device(wide.data())) {
        return true;
    }
    // A link's own attributes, whether or not it leads anywhere.
    return long_path_reach(wide.data(), 0, reach.data(), reach.size()) &&
           GetFileAttributesW(reach.data()) != INVALID_FILE_ATTRIBUTES;
}

FilePutResult file_put_new(const char* path, const uint8_t* bytes, size_t n, FileProceed proceed,
                           char why[FILE_WHY_BYTES]) {
    std::vector<wchar_t> wide;
    if (!wide_path(path, &wide, why)) {
        return FILE_PUT_FAILED;
    }
    if (const char* refused = name_refusal(wide.data())) {
        return failed(why, refused);
    }
    if (file_names_device(wide.data())) {
        return FILE_PUT_EXISTS; // a device is always there
    }
    if (proceed != nullptr && !proceed()) {
        return FILE_PUT_CANCELLED;
    }
    return put_result(file_replace_create(wide.data(), bytes, n, proceed), why);
}
