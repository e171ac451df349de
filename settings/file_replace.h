// Putting a file's new content in place without ever destroying the old one.
//
// Opening the target for writing would truncate it first, so a failed or short write would leave
// neither the old nor the new content. Instead the complete content goes into a new file in the
// same folder (so that both lie on one volume), is flushed to the disk, and then takes the
// target's place in one step. On any failure the target is left exactly as it was and the new
// file is removed again; nothing is left behind in the folder.
#pragma once

#include <cstddef>
#include <cstdint>

enum FileReplaceResult {
    FILE_REPLACE_DONE = 0,            // the target now holds exactly the new content
    FILE_REPLACE_CREATE_FAILED = -1,  // no new file could be created beside the target
    FILE_REPLACE_WRITE_FAILED = -2,   // the new content could not be written or flushed whole
    FILE_REPLACE_REPLACE_FAILED = -3, // the new file could not take the target's place
};

#ifdef _WIN32
// `path`: NUL-terminated UTF-16 path of the target. Not reentrant (one static name buffer).
FileReplaceResult file_replace_write(const wchar_t* path, const uint8_t* bytes, size_t n);
#endif
