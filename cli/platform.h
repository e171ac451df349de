// What the command-line tool needs of the system it runs on. Each platform implements these in
// its own files (*_posix.cpp, *_win32.cpp); everything else in cli/ is shared. Texts, file names
// and port names are UTF-8 here whatever the platform uses underneath.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cli/port_ops.h"

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
// Reads at most cap bytes of a file. Returns 0 and the count, or -1 with the reason in `why`.
int platform_file_read(const char* path, uint8_t* buffer, size_t cap, size_t* n,
                       char why[PLATFORM_WHY_BYTES]);

// Puts the bytes in place as the file's whole content, in one step: written beside it, flushed
// to disk, then moved over it. On failure the file is as it was and nothing is left behind.
// Returns 0, or -1 with the reason in `why`.
int platform_file_replace(const char* path, const uint8_t* bytes, size_t n,
                          char why[PLATFORM_WHY_BYTES]);

// ---- Console, time and interruption ------------------------------------------------------------
enum PlatformStream : int { PLATFORM_OUT = 1, PLATFORM_ERR = 2 };

void platform_write(PlatformStream stream, const char* text, size_t n);
bool platform_is_terminal(PlatformStream stream);

// After this, an interrupt from the keyboard (Ctrl+C) or a termination request no longer ends
// the process: it is remembered, and it ends platform_sleep_until early.
void platform_catch_interrupt();
bool platform_interrupted();

int64_t platform_now_ms(); // monotonic
void platform_sleep_until(int64_t deadline_ms);
