// Windows paths past the old length limit.
//
// Without the program opting in, Windows refuses a path of LONG_PATH_FROM (260) units or more
// unless it is in its extended form: "\\?\C:\folder\name" for a drive path, or
// "\\?\UNC\server\share\name" for a network path. The extended form is taken up to 32767 units
// long but is passed to the file system as it stands, so it is made only from a full path (no
// "." or ".." parts, no forward slashes), as the system's full-path routine returns it.
#pragma once

#include <cstddef>

constexpr size_t LONG_PATH_FROM = 260;    // paths this long need the extended form
constexpr size_t LONG_PATH_UNITS = 32768; // the longest path the system takes, with terminator

// Writes the extended form of the full path `full` into `out` (`cap` units, terminator
// included). A path already extended ("\\?\"), a device path ("\\.\") and a path that is not a
// full drive or network path are copied unchanged. Returns false when the result does not fit.
bool long_path_form(const wchar_t* full, wchar_t* out, size_t cap);

#ifdef _WIN32
// Gives in `out` the name to hand to the system for `path`, to which up to `extra` more units
// will be appended: the path itself while it stays under LONG_PATH_FROM, otherwise the extended
// form of its full path (the path itself again when that cannot be made). Returns false when
// the result does not fit in `cap` units. Not reentrant (one static full-path buffer).
bool long_path_reach(const wchar_t* path, size_t extra, wchar_t* out, size_t cap);
#endif
