// Serial-port names as the system lists them and as the program opens them.
//
// The system publishes its serial ports as registry values whose data are names such as "COM3".
// The number is read from the fourth code unit on, the way the C runtime's wcstol reads it, and
// turned back into the name the port is opened with: "COM3" for 1 to 9 (and 0), the device
// namespace form "\\.\COM10" for everything else, negative numbers included.
//
// Each probed port gets a timer of the main dialog whose id is its number + TIMER_PROBE_BASE
// (dialog_timers.h). Ids that are not a 16-bit value, or that fall on the dialog's own timers
// (poll, scan, reply), would be confused with those timers or never seen again, so such ports
// are given up.
#pragma once

#include <cstddef>
#include <cstdint>

// Number of a port from registry value data of `units` UTF-16 code units (the data need not be
// terminated). Leading white space skipped, optional sign, decimal digits; 0 when no digit
// follows; saturated at the 32-bit limits like wcstol.
int32_t port_number_parse(const char16_t* data, size_t units);

// Device name to open for a port number; returns code units written (cut to cap - 1).
size_t port_device_name(char16_t* out, size_t cap, int32_t number);

// Timer id of the probe of a port; false when the port must be given up (see above).
bool port_probe_timer_id(int32_t number, uint32_t* id);
