// Writes a new file beside the target, flushes it, and puts it in the target's place in one step.
//
// An existing target is replaced with ReplaceFileW, which gives the new file the old one's
// security descriptor and attributes: a file that colleagues may read on a shared folder stays
// readable to them, and a hidden file stays hidden. The archive mark is set whatever the old
// file had, since the content is new, and the offline mark is not taken over. Some
// implementations of ReplaceFileW only rename, so the new file is then given the old one's
// attributes and access list afterwards. With no target yet there is nothing to keep, and the
// new file is moved into place (MoveFileExW).
//
// The old file is moved to a backup name beside it by the same call and deleted only once the
// new one is in its place. Should the call fail after that move, the name is empty for a moment:
// the old file is put back, and if that fails the new one takes the name, so that one of the two
// contents always stands under it. Only when neither can be moved there does the old content
// stay under its backup name, the one file ever left behind, since it is the user's last copy.
// A move or a removal refused at first is tried again a few times, as a virus scanner or an
// indexer holds a new file open for a moment; a backup that still cannot be removed is removed
// by the next replacement or by file_replace_tidy.
//
// A target that is a folder, is read-only or is held open without sharing refuses the
// replacement and keeps its content. The new file's name (and the old file's while it is
// replaced) is short and made in the target's folder, independent of the target's own name, so
// it fits wherever the target's name does; a target whose new file's path would reach the old
// path length limit is named in its extended form, so that every target the system can hold can
// still be saved. A file that must be new (file_replace_create) is moved into place only while
// its name is free.
#include "settings/file_replace.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

#include "base/write_all_win32.h"
#include "settings/file_replace_steps_win32.h"
#include "settings/long_path.h"

FileReplaceSteps file_replace_steps = {ReplaceFileW, MoveFileExW, DeleteFileW};

namespace {

constexpr size_t PATH_UNITS_MAX = 32767;   // the longest path the system takes
constexpr size_t SUFFIX_UNITS = 28;        // ".~lv24-", two eight-digit numbers and "-old"
constexpr unsigned NAME_ATTEMPTS = 64;     // different names tried before giving up
constexpr DWORD SECURITY_BYTES = 1u << 16; // room for a file's access list
constexpr unsigned STEP_ATTEMPTS = 5;      // tries of a refused move or removal
constexpr DWORD STEP_PAUSE_MS = 100;       // pause before each further try
constexpr size_t LEFTOVER_SLOTS = 4;       // backups whose removal waits for a later try

// The attributes a replacement keeps from the old file (read-only targets are refused before),
// and those it decides: these, the archive mark it sets and the offline mark it leaves off.
constexpr DWORD KEPT_ATTRIBUTES = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_TEMPORARY;
constexpr DWORD DECIDED_ATTRIBUTES =
    KEPT_ATTRIBUTES | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_OFFLINE;

wchar_t target_path[PATH_UNITS_MAX + 1];                // the target, as handed to the system
wchar_t temp_path[PATH_UNITS_MAX + SUFFIX_UNITS + 1];   // the new file beside it
wchar_t backup_path[PATH_UNITS_MAX + SUFFIX_UNITS + 1]; // the old file while it is replaced
wchar_t leftovers[LEFTOVER_SLOTS][PATH_UNITS_MAX + SUFFIX_UNITS + 1]; // backups to remove later

// Security descriptors holding the access list (DACL) of the old file and of the new one.
alignas(8) uint8_t old_security[SECURITY_BYTES];
alignas(8) uint8_t new_security[SECURITY_BYTES];

size_t target_length(const wchar_t* path) {
    const size_t length = wcsnlen(path, PATH_UNITS_MAX + 1);
    return length > PATH_UNITS_MAX ? 0 : length;
}

// Removes a file, trying again a few times while it is refused; true once it is gone.
bool remove_file(const wchar_t* path) {
    for (unsigned attempt = 0; attempt < STEP_ATTEMPTS; ++attempt) {
        if (attempt > 0) {
            Sleep(STEP_PAUSE_MS);
        }
        if (file_replace_steps.remove(path) || GetLastError() == ERROR_FILE_NOT_FOUND) {
            return true;
        }
        SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL); // a read-only mark would refuse it
    }
    return false;
}

// Moves a file, trying again a few times while it is refused.
bool move_file(const wchar_t* from, const wchar_t* to, DWORD flags) {
    for (unsigned attempt = 0; attempt < STEP_ATTEMPTS; ++attempt) {
        if (attempt > 0) {
            Sleep(STEP_PAUSE_MS);
        }
        if (file_replace_steps.move(from, to, flags)) {
            return true;
        }
    }
    return false;
}

// Removes the backup of a replaced file, or keeps its name for a later try.
void remove_backup() {
    if (remove_file(backup_path)) {
        return;
    }
    file_replace_tidy();
    for (auto& slot : leftovers) {
        if (slot[0] == 0) {
            wcscpy(slot, backup_path);
            return;
        }
    }
}

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

// Writes a name in the target's folder with suffix number `attempt` and `tail` into `out`.
void name_beside(const wchar_t* path, size_t length, unsigned attempt, const wchar_t* tail,
                 wchar_t* out) {
    const size_t folder = folder_units(path, length);
    wmemcpy(out, path, folder);
    swprintf(out + folder, SUFFIX_UNITS + 1, L".~lv24-%lx-%x%ls",
             static_cast<unsigned long>(GetCurrentProcessId()), attempt, tail);
}

// Creates a new, empty file in the target's folder; its name is left in temp_path.
HANDLE create_beside(const wchar_t* path) {
    const size_t length = target_length(path);
    if (length == 0) {
        return INVALID_HANDLE_VALUE;
    }
    for (unsigned attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        name_beside(path, length, attempt, L"", temp_path);
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

// Finds a name beside the target that no file has, for the old file while it is replaced.
bool backup_name(const wchar_t* path) {
    const size_t length = target_length(path);
    for (unsigned attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        name_beside(path, length, attempt, L"-old", backup_path);
        if (GetFileAttributesW(backup_path) == INVALID_FILE_ATTRIBUTES &&
            GetLastError() == ERROR_FILE_NOT_FOUND) {
            return true;
        }
    }
    return false;
}

bool read_access_list(const wchar_t* path, uint8_t* security) {
    DWORD needed = 0;
    return GetFileSecurityW(path, DACL_SECURITY_INFORMATION, security, SECURITY_BYTES, &needed) !=
           0;
}

bool same_acl(PACL a, PACL b) {
    if (a == nullptr || b == nullptr) {
        return a == b;
    }
    if (a->AceCount != b->AceCount) {
        return false;
    }
    for (DWORD i = 0; i < a->AceCount; ++i) {
        void* ace_a = nullptr;
        void* ace_b = nullptr;
        if (!GetAce(a, i, &ace_a) || !GetAce(b, i, &ace_b)) {
            return false;
        }
        const WORD size = static_cast<ACE_HEADER*>(ace_a)->AceSize;
        if (size != static_cast<ACE_HEADER*>(ace_b)->AceSize || memcmp(ace_a, ace_b, size) != 0) {
            return false;
        }
    }
    return true;
}

// True when both descriptors hold the same access list, protected from inheritance alike.
bool same_access_list(uint8_t* a, uint8_t* b) {
    BOOL present_a = FALSE, present_b = FALSE, defaulted = FALSE;
    PACL acl_a = nullptr, acl_b = nullptr;
    SECURITY_DESCRIPTOR_CONTROL control_a = 0, control_b = 0;
    DWORD revision = 0;
    if (!GetSecurityDescriptorDacl(a, &present_a, &acl_a, &defaulted) ||
        !GetSecurityDescriptorDacl(b, &present_b, &acl_b, &defaulted) ||
        !GetSecurityDescriptorControl(a, &control_a, &revision) ||
        !GetSecurityDescriptorControl(b, &control_b, &revision)) {
        return false;
    }
    return present_a == present_b &&
           (control_a & SE_DACL_PROTECTED) == (control_b & SE_DACL_PROTECTED) &&
           same_acl(present_a ? acl_a : nullptr, present_b ? acl_b : nullptr);
}

// Gives the replaced target what the old file had, where the replacement did not carry it, and
// the archive mark of new content.
void keep_old_file_properties(const wchar_t* path, DWORD old_attributes, bool old_security_read) {
    const DWORD wanted = (old_attributes & KEPT_ATTRIBUTES) | FILE_ATTRIBUTE_ARCHIVE;
    const DWORD now = GetFileAttributesW(path);
    if (now != INVALID_FILE_ATTRIBUTES && (now & DECIDED_ATTRIBUTES) != wanted) {
        SetFileAttributesW(path, wanted);
    }
    if (old_security_read && read_access_list(path, new_security) &&
        !same_access_list(old_security, new_security)) {
        SetFileSecurityW(path, DACL_SECURITY_INFORMATION, old_security);
    }
}

// Puts the new file (temp_path) in the place of the existing target, keeping the old file's
// security descriptor and attributes. True when the new content stands under the name; false
// when the old one still does (or, if neither could be moved back, waits under the backup name).
bool replace_existing(const wchar_t* path, DWORD old_attributes) {
    const bool old_security_read = read_access_list(path, old_security);
    if (!backup_name(path)) {
        return false;
    }
    if (file_replace_steps.replace(path, temp_path, backup_path, 0, nullptr, nullptr)) {
        remove_backup();
        keep_old_file_properties(path, old_attributes, old_security_read);
        return true;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
        // The old file has moved to the backup name and the name is empty.
        if (move_file(backup_path, path, MOVEFILE_WRITE_THROUGH)) {
            return false;
        }
        if (!move_file(temp_path, path, MOVEFILE_WRITE_THROUGH)) {
            return false;
        }
        remove_backup();
        keep_old_file_properties(path, old_attributes, old_security_read);
        return true;
    }
    // A target removed meanwhile has nothing left to keep.
    return error == ERROR_FILE_NOT_FOUND && move_file(temp_path, path, MOVEFILE_WRITE_THROUGH);
}

// Writes the new file and puts it in place: over an existing target when `replacing`, only at
// a free name otherwise.
FilePutResult put_in_place(const wchar_t* target, const uint8_t* bytes, size_t n, bool replacing,
                           bool (*proceed)()) {
    if (!long_path_reach(target, SUFFIX_UNITS, target_path, PATH_UNITS_MAX + 1)) {
        return FILE_PUT_CREATE_FAILED;
    }
    const wchar_t* path = target_path;
    file_replace_tidy();
    // A read-only file is not replaced: opening it for writing was refused, and so is the
    // replacement on Windows. Not every implementation refuses it, nor a folder in the target's
    // place, so both are asked here.
    const DWORD attributes = GetFileAttributesW(path);
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (!replacing && exists) {
        return FILE_PUT_EXISTS;
    }
    if (exists && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        return FILE_PUT_REPLACE_FAILED;
    }
    HANDLE file = create_beside(path);
    if (file == INVALID_HANDLE_VALUE) {
        return FILE_PUT_CREATE_FAILED;
    }
    const bool written = write_all(file, bytes, n, nullptr) && FlushFileBuffers(file) != 0;
    const bool closed = CloseHandle(file) != 0;
    if (!written || !closed) {
        remove_file(temp_path);
        return FILE_PUT_WRITE_FAILED;
    }
    if (proceed != nullptr && !proceed()) {
        remove_file(temp_path);
        return FILE_PUT_CANCELLED;
    }
    if (exists) {
        if (!replace_existing(path, attributes)) {
            remove_file(temp_path);
            return FILE_PUT_REPLACE_FAILED;
        }
        return FILE_PUT_DONE;
    }
    const DWORD move_flags =
        replacing ? MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH : MOVEFILE_WRITE_THROUGH;
    if (!file_replace_steps.move(temp_path, path, move_flags)) {
        const DWORD error = GetLastError();
        remove_file(temp_path);
        return !replacing && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
                   ? FILE_PUT_EXISTS
                   : FILE_PUT_REPLACE_FAILED;
    }
    return FILE_PUT_DONE;
}

} // namespace

void file_replace_tidy() {
    for (auto& slot : leftovers) {
        if (slot[0] != 0 &&
            (file_replace_steps.remove(slot) || GetLastError() == ERROR_FILE_NOT_FOUND)) {
            slot[0] = 0;
        }
    }
}

FilePutResult file_replace_write(const wchar_t* target, const uint8_t* bytes, size_t n,
                                 bool (*proceed)()) {
    return put_in_place(target, bytes, n, true, proceed);
}

FilePutResult file_replace_create(const wchar_t* target, const uint8_t* bytes, size_t n,
                                  bool (*proceed)()) {
    return put_in_place(target, bytes, n, false, proceed);
}
