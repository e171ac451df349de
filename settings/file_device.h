// Telling a file on a disk from everything else a name can reach on Windows.
//
// A name may stand for a device instead of a file: the reserved names (NUL, CON, COM1, ..., with
// or without an extension where the system still takes those), anything in the device space
// (\\.\COM1, \\.\pipe\name), and under Wine whatever Z: shows of the Unix side (a FIFO, /dev/tty,
// /dev/zero). Reading such a thing may wait for ever: a port, a console or a FIFO that has a
// writer gives nothing until data comes. So a settings file is read only from a handle that the
// system says belongs to a file on a disk, and the reserved and device-space names are refused
// by name, without being opened at all (opening a serial port changes its control lines).
#pragma once

#include <windows.h>

// True when the system maps `path` to a device: its full path is in the device space. Not
// reentrant (one static full-path buffer).
bool file_names_device(const wchar_t* path);

// Opens `path` (a name the system takes as it stands, see long_path.h) for reading, shared with
// readers and writers, when it is a file on a disk and not a folder; INVALID_HANDLE_VALUE for
// anything else, or when it cannot be opened. `device_check`, the name as the user gave it, is
// refused first when it names a device.
HANDLE file_open_disk_file(const wchar_t* path, const wchar_t* device_check);
