// Putting a file's new content in place without ever destroying the old one.
//
// Opening the target for writing would truncate it first, so a failed or short write would leave
// neither the old nor the new content. Instead the complete content goes into a new file in the
// same folder (so that both lie on one volume), is flushed to the disk, and then takes the
// target's place in one step. On any failure the target is left exactly as it was and the new
// file is removed again; nothing is left behind in the folder. The new file's name is short and
// independent of the target's, so it fits in every folder that takes the target's name.
#pragma once

#include <cstddef>
#include <cstdint>

// Asked once the new file is written and flushed, before it takes its place: false gives up, and
// the new file is removed again (a Ctrl+C that came meanwhile, for the command-line tool).
using FileProceed = bool (*)();

// ---- By UTF-8 name, on every platform (file_replace_posix.cpp, file_utf8_win32.cpp) ---------
constexpr size_t FILE_WHY_BYTES = 256; // a failure's reason with its terminator

// Results of the operations that put a file in place. Every result but DONE leaves no new file.
enum FilePutResult : int {
    FILE_PUT_DONE = 0,
    FILE_PUT_FAILED = -1,    // the reason is in `why`
    FILE_PUT_EXISTS = -2,    // file_put_new: the name is taken already
    FILE_PUT_CANCELLED = -3, // `proceed` said no before the new file took its place
};

// Reads at most cap bytes of a file. Returns 0 and the count, or -1 with the reason in `why`.
int file_read(const char* path, uint8_t* buffer, size_t cap, size_t* n, char why[FILE_WHY_BYTES]);

// Puts the bytes in place as the file's whole content, as described above. A symbolic link is
// followed and the file it points to is written (created, when the link dangles); a folder, a
// device, a pipe, an empty name and a name ending in a separator are refused, and so is a
// read-only file, whoever runs the program. The new file keeps the replaced file's permissions
// (and its owner and group where the system lets it). `proceed` may be null. Returns a
// FilePutResult, with the reason in `why` for FILE_PUT_FAILED.
int file_put(const char* path, const uint8_t* bytes, size_t n, FileProceed proceed,
             char why[FILE_WHY_BYTES]);

// Writes a new file with the bytes as its whole content, flushed to disk, and never replaces
// anything: when the name is taken (by a file, a folder or a link, dangling or not) the result
// is FILE_PUT_EXISTS, so that a backup never overwrites an earlier one. The content appears under
// the name whole or not at all. Returns a FilePutResult, with the reason in `why` for
// FILE_PUT_FAILED.
int file_put_new(const char* path, const uint8_t* bytes, size_t n, FileProceed proceed,
                 char why[FILE_WHY_BYTES]);

// ---- By UTF-16 name, on Windows (file_replace_win32.cpp) ------------------------------------
enum FileReplaceResult {
    FILE_REPLACE_DONE = 0,            // the target now holds exactly the new content
    FILE_REPLACE_CREATE_FAILED = -1,  // no new file could be created beside the target
    FILE_REPLACE_WRITE_FAILED = -2,   // the new content could not be written or flushed whole
    FILE_REPLACE_REPLACE_FAILED = -3, // the new file could not take the target's place
    FILE_REPLACE_EXISTS = -4,         // file_replace_create: the target's name is taken
    FILE_REPLACE_CANCELLED = -5,      // `proceed` said no before the new file took its place
};

#ifdef _WIN32
// `path`: NUL-terminated UTF-16 path of the target; `proceed` may be null. Not reentrant (one
// static name buffer).
FileReplaceResult file_replace_write(const wchar_t* path, const uint8_t* bytes, size_t n,
                                     FileProceed proceed = nullptr);

// The same for a file that must not exist yet: the new file takes the name only while it is
// free, and FILE_REPLACE_EXISTS is the result when it is not; nothing is ever replaced.
FileReplaceResult file_replace_create(const wchar_t* path, const uint8_t* bytes, size_t n,
                                      FileProceed proceed = nullptr);
#endif
