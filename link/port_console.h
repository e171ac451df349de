// The system console among the serial ports. The kernel writes its messages to it and a login
// prompt (getty) may run on it, so a search for the controller leaves it alone: six bytes of an
// identification request would land in a login prompt, and a console's settings are not ours
// to change, even for a moment.
//
// Linux names its consoles in two files: /sys/class/tty/console/active holds one or several
// names on one line ("tty0 ttyS0"), each that of a device under /dev; /proc/consoles holds one
// line per console, its name first and, where it has one, its device number last ("ttyS0 -W-
// (EC p a) 4:64"). "tty0" is the virtual terminal in front, never a serial port. A port is the
// console when its device number is one of the consoles': whatever name leads to the device (a
// /dev/serial/by-id link, a copy of the device node) leads to the console too, and a name alone
// proves nothing.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t CONSOLE_DEVICES_MAX = 16; // consoles kept; the kernel registers a handful

// A device number, split as the system shows it.
struct ConsoleDevice {
    uint32_t major;
    uint32_t minor;
};

// The system consoles' device numbers, each once.
struct ConsoleDevices {
    ConsoleDevice devices[CONSOLE_DEVICES_MAX];
    size_t count;
};

// The device number of the console named `name` (a name under /dev, such as "ttyS0"); false
// when there is no such device.
using ConsoleNumberOf = bool (*)(const char* name, ConsoleDevice* device);

// The consoles named in the texts of /sys/class/tty/console/active and /proc/consoles (null for
// a file that is absent or cannot be read). A console of /proc/consoles with a device number is
// taken by that number; every other name, one of a character that no device name holds
// excepted, is looked up through `number_of`.
void console_devices_parse(const char* active, const char* consoles, ConsoleNumberOf number_of,
                           ConsoleDevices* out);

bool console_devices_has(const ConsoleDevices* consoles, ConsoleDevice device);
