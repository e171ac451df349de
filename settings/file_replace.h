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

enum FileReplaceResult {
    FILE_REPLACE_DONE = 0,            // the target now holds exactly the new content
    FILE_REPLACE_CREATE_FAILED = -1,  // no new file could be created beside the target
    FILE_REPLACE_WRITE_FAILED = -2,   // the new content could not be written or flushed whole
    FILE_REPLACE_REPLACE_FAILED = -3, // the new file could not take the target's place
    FILE_REPLACE_EXISTS = -4,         // file_replace_create: the target's name is taken
    FILE_REPLACE_CANCELLED = -5,      // `proceed` said no before the new file took its place
};

#ifdef _WIN32
// `path`: NUL-terminated UTF-16 path of the target. `proceed`, when given, is asked once the new
// file is written and flushed; when it returns false the new file is removed and nothing
// changes. Not reentrant (one static name buffer).
FileReplaceResult file_replace_write(const wchar_t* path, const uint8_t* bytes, size_t n,
                                     bool (*proceed)() = nullptr);

// The same for a file that must not exist yet: the new file takes the name only while it is
// free, and FILE_REPLACE_EXISTS is the result when it is not; nothing is ever replaced.
FileReplaceResult file_replace_create(const wchar_t* path, const uint8_t* bytes, size_t n,
                                      bool (*proceed)() = nullptr);

// Removes the old files of earlier replacements that another program held open at the time;
// every replacement calls it first, and the window once more as it closes.
void file_replace_tidy();
#endif
