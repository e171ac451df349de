// The system calls by which a file replacement (file_replace.h) moves and removes files. The
// replacement makes them through this record, which holds the system's own routines; tests put
// theirs in its place to make one step fail at the moment they choose.
#pragma once

#include <windows.h>

struct FileReplaceSteps {
    // ReplaceFileW: the new file takes the target's place, the old one moves to the backup name.
    BOOL(WINAPI* replace)
    (LPCWSTR target, LPCWSTR replacement, LPCWSTR backup, DWORD flags, LPVOID exclude,
     LPVOID reserved);
    BOOL(WINAPI* move)(LPCWSTR from, LPCWSTR to, DWORD flags); // MoveFileExW
    BOOL(WINAPI* remove)(LPCWSTR path);                        // DeleteFileW
};

extern FileReplaceSteps file_replace_steps;
