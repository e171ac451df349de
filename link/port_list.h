// The serial ports the system has, and what it tells of each beyond its name. Each platform
// implements these in its own files (port_list_*.cpp, port_details_*.cpp). Names are UTF-8.
#pragma once

#include <cstddef>

constexpr size_t PORT_NAME_BYTES = 256;     // a port name with its terminator
constexpr size_t PORT_CANDIDATES_MAX = 256; // ports looked at when none is named

// The ports the controller may be on when none is named: on Windows those the system lists as
// serial ports, on Linux the USB, ACM, AMA and Bluetooth serial devices and the ttyS ports that
// have a UART behind them. Returns how many names were written.
size_t port_candidates(char names[][PORT_NAME_BYTES], size_t cap);

// Whether the named port is the system console (port_console.h), which a search leaves alone.
// Never on Windows, which has no such thing.
bool port_is_console(const char* name);

// What the system tells of a port beyond its name. A text is empty where the system has
// nothing, and on the platform that does not keep it.
struct PortDetails {
    char device[PORT_NAME_BYTES];        // the device the name leads to, links followed
    char by_id[PORT_NAME_BYTES];         // Linux: its name under /dev/serial/by-id
    char usb_vid[8];                     // Linux: the USB vendor id, four hex digits
    char usb_pid[8];                     // Linux: the USB product id, four hex digits
    char usb_serial[PORT_NAME_BYTES];    // Linux: the USB serial number
    char friendly_name[PORT_NAME_BYTES]; // Windows: the device manager's name of the port
    char group[PORT_NAME_BYTES];         // Linux: the group that owns the device
    long lock_pid; // a live process, not this one, whose lock file holds the port; 0 for none
    bool console;  // Linux: the port is the system console (port_is_console)
};

// Fills *out for the named port. False when the name leads to no device (then only what could
// be found is filled).
bool port_details(const char* name, PortDetails* out);
