// Writes a new file in the target's folder, flushes it, and moves it over the target in one step
// (MoveFileExW with MOVEFILE_REPLACE_EXISTING and MOVEFILE_WRITE_THROUGH; without the first for
// a file that must be new). A target that is a folder, is read-only or is held open without
// sharing refuses the move and keeps its content.
// A target whose new file's name would reach the old path length limit is named in its extended
// form, so that every target the system can hold can still be saved.
#include "settings/file_replace.h"

#include <windows.h>

#include <cwchar>

#include "settings/long_path.h"

namespace {

constexpr size_t PATH_UNITS_MAX = 32767; // the longest path the system takes
constexpr size_t SUFFIX_UNITS = 24;    // the new file's name: ".~lv24-" and two eight-digit numbers
constexpr unsigned NAME_ATTEMPTS = 64; // different names tried before giving up
constexpr DWORD WRITE_CHUNK = 1u << 20; // at most this much per WriteFile

wchar_t target_path[PATH_UNITS_MAX + 1];              // the target, as handed to the system
wchar_t temp_path[PATH_UNITS_MAX + SUFFIX_UNITS + 1]; // the new file in the target's folder

// Where the folder part of a path ends: after its last separator, after a drive's colon, or at
// the start of a bare name.
size_t folder_units(const wchar_t* path, size_t length) {
    for (size_t i = length; i > 0; --i) {
        if (path[i - 1] == L'\\' || path[i - 1] == L'/') {
            return i;
        }
    }
    return length >= 2 && path[1] == L':' ? 2 : 0;
}

// Creates a new, empty file in the target's folder; its name is left in temp_path.
HANDLE create_beside(const wchar_t* path) {
    const size_t length = wcsnlen(path, PATH_UNITS_MAX + 1);
    if (length == 0 || length > PATH_UNITS_MAX) {
        return INVALID_HANDLE_VALUE;
    }
    const size_t folder = folder_units(path, length);
    const DWORD process = GetCurrentProcessId();
    for (unsigned attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        wmemcpy(temp_path, path, folder);
        swprintf(temp_path + folder, SUFFIX_UNITS + 1, L".~lv24-%lx-%x",
                 static_cast<unsigned long>(process), attempt);
        HANDLE file = CreateFileW(temp_path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            return file;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
            break; // the folder is missing or closed to us: another name will not help
        }
    }
    return INVALID_HANDLE_VALUE;
}

bool write_all(HANDLE file, const uint8_t* bytes, size_t n) {
    while (n > 0) {
        const DWORD chunk = n < WRITE_CHUNK ? static_cast<DWORD>(n) : WRITE_CHUNK;
        DWORD written = 0;
        if (!WriteFile(file, bytes, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        bytes += written;
        n -= written;
    }
    return true;
}

// Writes the new file and moves it to the target's name with `move_flags`.
FileReplaceResult put_in_place(const wchar_t* target, const uint8_t* bytes, size_t n,
                               DWORD move_flags, bool (*proceed)()) {
    if (!long_path_reach(target, SUFFIX_UNITS, target_path, PATH_UNITS_MAX + 1)) {
        return FILE_REPLACE_CREATE_FAILED;
    }
    const wchar_t* path = target_path;
    const DWORD attributes = GetFileAttributesW(path);
    const bool replacing = (move_flags & MOVEFILE_REPLACE_EXISTING) != 0;
    if (!replacing && attributes != INVALID_FILE_ATTRIBUTES) {
        return FILE_REPLACE_EXISTS;
    }
    // A read-only file is not replaced: opening it for writing was refused, and so is the move
    // over it on Windows. Not every implementation of the move refuses it, so it is asked here.
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return FILE_REPLACE_REPLACE_FAILED;
    }
    HANDLE file = create_beside(path);
    if (file == INVALID_HANDLE_VALUE) {
        return FILE_REPLACE_CREATE_FAILED;
    }
    const bool written = write_all(file, bytes, n) && FlushFileBuffers(file) != 0;
    const bool closed = CloseHandle(file) != 0;
    if (!written || !closed) {
        DeleteFileW(temp_path);
        return FILE_REPLACE_WRITE_FAILED;
    }
    if (proceed != nullptr && !proceed()) {
        DeleteFileW(temp_path);
        return FILE_REPLACE_CANCELLED;
    }
    if (!MoveFileExW(temp_path, path, move_flags)) {
        const DWORD error = GetLastError();
        DeleteFileW(temp_path);
        return !replacing && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
                   ? FILE_REPLACE_EXISTS
                   : FILE_REPLACE_REPLACE_FAILED;
    }
    return FILE_REPLACE_DONE;
}

} // namespace

FileReplaceResult file_replace_write(const wchar_t* target, const uint8_t* bytes, size_t n,
                                     bool (*proceed)()) {
    return put_in_place(target, bytes, n, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH,
                        proceed);
}

FileReplaceResult file_replace_create(const wchar_t* target, const uint8_t* bytes, size_t n,
                                      bool (*proceed)()) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the name is taken meanwhile.
    return put_in_place(target, bytes, n, MOVEFILE_WRITE_THROUGH, proceed);
}
