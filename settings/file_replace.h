// Putting a file's new content in place without ever destroying the old one.
//
// Opening the target for writing would truncate it first, so a failed or short write would leave
// neither the old nor the new content. Instead the complete content goes into a new file in the
// same folder (so that both lie on one volume), is flushed to the disk, and then takes the
// target's place in one step. On any failure the target is left exactly as it was and the new
// file is removed again; nothing is left behind in the folder. The content that stands under the
// name is always the old or the new one, whole. The new file's name is short and
// independent of the target's, so it fits in every folder that takes the target's name.
#pragma once

#include <cstddef>
#include <cstdint>

// Asked once the new file is written and flushed, before it takes its place: false gives up, and
// the new file is removed again (a Ctrl+C that came meanwhile, for the command-line tool).
using FileProceed = bool (*)();

// Results of the operations that put a file in place, by either kind of name. Every result but
// DONE leaves no new file behind. A failure by UTF-8 name is FAILED, with its reason in words;
// the UTF-16 operations, which have no room for words, say which step failed instead.
enum FilePutResult : int {
    FILE_PUT_DONE = 0,            // the target now holds exactly the new content
    FILE_PUT_FAILED = -1,         // by UTF-8 name: the reason is in `why`
    FILE_PUT_EXISTS = -2,         // a new file's name is taken already; nothing was replaced
    FILE_PUT_CANCELLED = -3,      // `proceed` said no before the new file took its place
    FILE_PUT_CREATE_FAILED = -4,  // by UTF-16 name: no new file could be created beside the target
    FILE_PUT_WRITE_FAILED = -5,   // by UTF-16 name: the new content could not be written whole
    FILE_PUT_REPLACE_FAILED = -6, // by UTF-16 name: the new file could not take the target's place
};

// ---- By UTF-8 name, on every platform (file_replace_posix.cpp, file_utf8_win32.cpp) ---------
constexpr size_t FILE_WHY_BYTES = 256; // a failure's reason with its terminator

// Reads at most cap bytes of a file. Only a regular file is read: a folder, a device, a pipe
// (FIFO) or a socket is refused at once, in the words file_put uses, without waiting for it or
// reading from it. Returns 0 and the count, or -1 with the reason in `why`.
int file_read(const char* path, uint8_t* buffer, size_t cap, size_t* n, char why[FILE_WHY_BYTES]);

// Puts the bytes in place as the file's whole content, as described above. A symbolic link is
// followed and the file it points to is written (created, when the link dangles), except where
// the system itself would not follow it: on Linux, a link in a sticky folder that everybody may
// write (/tmp) that belongs neither to the folder's owner nor to the caller is refused, also for
// root. A folder, a device, a pipe, an empty name and a name ending in a separator are refused,
// and so is a read-only file, whoever runs the program, and a file with several names (hard
// links), which the new file would split: it would take one name, the others keeping the old
// content. The new file keeps the replaced file's
// permissions (and its owner and group where the system lets it). `proceed` may be null. Returns a
// FilePutResult, with the reason in `why` for FILE_PUT_FAILED.
FilePutResult file_put(const char* path, const uint8_t* bytes, size_t n, FileProceed proceed,
                       char why[FILE_WHY_BYTES]);

// True when something stands at the name: a file, a folder, a device or a link, dangling or
// not (the link itself counts; it is not followed). False where nothing does, or where the
// system will not say.
bool file_name_taken(const char* path);

// Writes a new file with the bytes as its whole content, flushed to disk, and never replaces
// anything: when the name is taken (by a file, a folder or a link, dangling or not) the result
// is FILE_PUT_EXISTS, so that a backup never overwrites an earlier one. The content appears under
// the name whole or not at all, also on a file system without hard links (FAT). Returns a
// FilePutResult, with the reason in `why` for FILE_PUT_FAILED.
FilePutResult file_put_new(const char* path, const uint8_t* bytes, size_t n, FileProceed proceed,
                           char why[FILE_WHY_BYTES]);

// ---- By UTF-16 name, on Windows (file_replace_win32.cpp) ------------------------------------
#ifdef _WIN32
// `path`: NUL-terminated UTF-16 path of the target; `proceed` may be null. Not reentrant (one
// static name buffer).
FilePutResult file_replace_write(const wchar_t* path, const uint8_t* bytes, size_t n,
                                 FileProceed proceed = nullptr);

// The same for a file that must not exist yet: the new file takes the name only while it is
// free, and FILE_PUT_EXISTS is the result when it is not; nothing is ever replaced.
FilePutResult file_replace_create(const wchar_t* path, const uint8_t* bytes, size_t n,
                                  FileProceed proceed = nullptr);

// Removes the old files of earlier replacements that another program held open at the time;
// every replacement calls it first, and the window once more as it closes.
void file_replace_tidy();
#endif
