// What the command-line tool needs of the system it runs on. Each platform implements these in
// its own files (*_posix.cpp, *_win32.cpp); everything else in cli/ is shared. Texts, file names
// and port names are UTF-8 here whatever the platform uses underneath.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/port_ops.h"

constexpr size_t PLATFORM_NAME_BYTES = 256;     // a port name with its terminator
constexpr size_t PLATFORM_CANDIDATES_MAX = 256; // ports looked at when none is named
constexpr size_t PLATFORM_WHY_BYTES = 256;      // a failure's reason with its terminator

// ---- Serial ports ----------------------------------------------------------------------------
const PortOps* platform_port_ops();

// The ports the controller may be on when none is named: on Windows those the system lists as
// serial ports, on Linux the USB, ACM, AMA and Bluetooth serial devices and the ttyS ports that
// have a UART behind them. Returns how many names were written.
size_t platform_candidate_ports(char names[][PLATFORM_NAME_BYTES], size_t cap);

// What the system tells of a port beyond its name. A text is empty where the system has
// nothing, and on the platform that does not keep it.
struct PlatformPortDetails {
    char device[PLATFORM_NAME_BYTES];        // the device the name leads to, links followed
    char by_id[PLATFORM_NAME_BYTES];         // Linux: its name under /dev/serial/by-id
    char usb_vid[8];                         // Linux: the USB vendor id, four hex digits
    char usb_pid[8];                         // Linux: the USB product id, four hex digits
    char usb_serial[PLATFORM_NAME_BYTES];    // Linux: the USB serial number
    char friendly_name[PLATFORM_NAME_BYTES]; // Windows: the device manager's name of the port
    char group[PLATFORM_NAME_BYTES];         // Linux: the group that owns the device
    long lock_pid; // a live process, not this one, whose lock file holds the port; 0 for none
};

// Fills *out for the named port. False when the name leads to no device (then only what could
// be found is filled).
bool platform_port_details(const char* name, PlatformPortDetails* out);

// ---- Files -----------------------------------------------------------------------------------
constexpr size_t PLATFORM_PATH_BYTES = 4096; // a folder's path given back, with its terminator

// Results of the operations that put a file in place. Every result but DONE leaves no new file.
enum PlatformFileResult : int {
    PLATFORM_FILE_DONE = 0,
    PLATFORM_FILE_FAILED = -1,      // the reason is in `why`
    PLATFORM_FILE_EXISTS = -2,      // platform_file_create: the name is taken already
    PLATFORM_FILE_INTERRUPTED = -3, // an interrupt came (platform_interrupted) before the move
};

// Reads at most cap bytes of a file. Returns 0 and the count, or -1 with the reason in `why`.
int platform_file_read(const char* path, uint8_t* buffer, size_t cap, size_t* n,
                       char why[PLATFORM_WHY_BYTES]);

// Puts the bytes in place as the file's whole content, in one step: written beside it, flushed
// to disk, then moved over it. A symbolic link is followed and the file it points to is written
// (created, when the link dangles); a folder, a device, a pipe, an empty name and a name ending
// in a separator are refused, and so is a read-only file, whoever runs the tool. The new file
// keeps the replaced file's permissions (and its owner and group where the system lets it).
// When an interrupt was caught before the move, the new file is removed and the result is
// PLATFORM_FILE_INTERRUPTED. On every failure the file is as it was and nothing is left behind.
// Returns a PlatformFileResult, with the reason in `why` for PLATFORM_FILE_FAILED.
int platform_file_replace(const char* path, const uint8_t* bytes, size_t n,
                          char why[PLATFORM_WHY_BYTES]);

// Writes a new file with the bytes as its whole content, flushed to disk, and never replaces
// anything: when the name is taken (by a file, a folder or a link, dangling or not) the result
// is PLATFORM_FILE_EXISTS, so that a backup never overwrites an earlier one. The content
// appears under the name whole or not at all; nothing is left behind on failure or interrupt.
// Returns a PlatformFileResult, with the reason in `why` for PLATFORM_FILE_FAILED.
int platform_file_create(const char* path, const uint8_t* bytes, size_t n,
                         char why[PLATFORM_WHY_BYTES]);

// The folder the controller's settings are backed up to before they are changed, created with
// every missing folder above it (private to the user): on Linux $XDG_STATE_HOME/lumivo24/backups
// when XDG_STATE_HOME is an absolute path, otherwise ~/.local/state/lumivo24/backups; on Windows
// %LOCALAPPDATA%\LUMIVO24\backups. Returns 0 with the folder's path (UTF-8, no trailing
// separator) in `folder`, or -1 with the reason in `why`.
int platform_backup_folder(char folder[PLATFORM_PATH_BYTES], char why[PLATFORM_WHY_BYTES]);

// ---- Console, time and interruption ------------------------------------------------------------
enum PlatformStream : int { PLATFORM_OUT = 1, PLATFORM_ERR = 2 };

// Writes the text whole, unbuffered. A failure of standard output is remembered (see below) and
// later output to it is dropped; a failure of standard error is ignored, there being nowhere
// left to say so.
void platform_write(PlatformStream stream, const char* text, size_t n);

// What became of standard output so far: everything written, the reader gone (a closed pipe),
// or a failure (a full disk, a closed or failed device). The reason goes into `why` unless it is
// null.
enum PlatformOutput : int { PLATFORM_OUTPUT_OK, PLATFORM_OUTPUT_CLOSED, PLATFORM_OUTPUT_FAILED };
PlatformOutput platform_output_state(char* why);

bool platform_is_terminal(PlatformStream stream);

// After this, an interrupt from the keyboard (Ctrl+C) or a termination request no longer ends
// the process: it is remembered, and it ends platform_sleep_until early.
void platform_catch_interrupt();
bool platform_interrupted();

int64_t platform_now_ms(); // monotonic
void platform_sleep_until(int64_t deadline_ms);
