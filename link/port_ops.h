// A serial port as the command-line tool sees it: a byte stream that the platform opens, writes,
// reads until a deadline and closes, with a monotonic clock. The transactions (session.h) are
// written against these operations only, so that they run the same over POSIX terminals, the
// Win32 serial API and the scripted ports of the unit tests.
#pragma once

#include <cstddef>
#include <cstdint>

using PortHandle = intptr_t; // what the platform needs to find an open port again

// Why a port could not be opened and set to the controller's line.
enum PortOpenResult : int {
    PORT_OPENED = 0,
    PORT_ABSENT = -1,     // no such device
    PORT_DENIED = -2,     // no permission to open it
    PORT_BUSY = -3,       // another program holds it
    PORT_NOT_SERIAL = -4, // opened, but not a serial line that takes the controller's settings
    PORT_FAILED = -5,     // any other failure
    PORT_LOCKED = -6,     // a live process holds the port's lock file; the port was not opened
    PORT_LEFT_ALONE = -7, // not opened: the caller leaves it alone (the system console)
};

struct PortOps {
    void* context; // passed to every operation
    // Opens the named port exclusively and sets it to 115200 baud, 8 data bits, no parity, one
    // stop bit, no flow control, raw bytes. Returns a PortOpenResult; *port on success. A port
    // that another program holds is left as it is.
    int (*open)(void* context, const char* name, PortHandle* port);
    // Gives the port back with the line settings it had before it was opened (where the
    // platform keeps them).
    void (*close)(void* context, PortHandle port);
    // Drops whatever has been received and not read yet.
    void (*discard)(void* context, PortHandle port);
    // Sends all n bytes; false when the port failed or did not take them in time.
    bool (*write)(void* context, PortHandle port, const uint8_t* bytes, size_t n);
    // Takes up to cap bytes that have arrived. When none has, waits for the first one until the
    // clock reaches deadline_ms and takes it with whatever came along; a deadline already past
    // takes only what is there. Returns the count, 0 when nothing came, -1 when the port failed
    // (unplugged, closed under us).
    long (*read)(void* context, PortHandle port, uint8_t* buffer, size_t cap, int64_t deadline_ms);
    int64_t (*now_ms)(void* context); // monotonic milliseconds
};

// The serial ports of the system the program runs on, by name (port_ops_posix.cpp,
// port_ops_win32.cpp).
const PortOps* port_ops_system();
