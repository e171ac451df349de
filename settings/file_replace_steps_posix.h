// The system calls by which a new file (file_put_new, file_replace.h) takes its name on POSIX
// systems. They are made through this record, which holds the system's own routines; tests put
// theirs in its place to play a file system without hard links (FAT on a memory stick) or a
// kernel without renameat2.
#pragma once

struct FilePutSteps {
    // link(2): the complete new file gets its final name too, only while that name is free.
    int (*link)(const char* from, const char* to);
    // renameat2(2) with RENAME_NOREPLACE: the new file moves to its final name, only while that
    // name is free. -1 with errno ENOSYS where the system has no such call.
    int (*rename_new)(const char* from, const char* to);
};

extern FilePutSteps file_put_steps;
