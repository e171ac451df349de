// The serial port as the link uses it: opened exclusively for synchronous I/O, set to the
// controller's line (115200 baud, 8 data bits, no parity, one stop bit, CTS flow control off,
// the other handshake settings as the port had them), with reads that return at once with what is
// queued and otherwise wait at most 100 ms.
#pragma once

#include <windows.h>

#include <cstdint>

// The handshake settings other than CTS flow control.
enum SerialHandshakes : int {
    SERIAL_HANDSHAKES_KEPT = 0, // as the port had them (the window program)
    // XON/XOFF and DSR handshaking off as well: with XON/XOFF on, the bytes 0x11 and 0x13 of a
    // settings answer would vanish in the driver, and with DSR handshaking on, a line without
    // DSR would send or take nothing (the command-line tool).
    SERIAL_HANDSHAKES_OFF = 1,
};

// Opens and configures a port by device name. Returns 0 and the handle, or -1 (cannot be opened),
// -2 (its line settings cannot be read), -3 (cannot be applied), -4 (time-outs cannot be set);
// on a failure after the open the port is closed again.
int serial_open(const wchar_t* device_name, HANDLE* handle,
                SerialHandshakes handshakes = SERIAL_HANDSHAKES_KEPT);

// Sets the port's time-outs: a read that finds nothing queued waits at most `wait_ms` for the
// first byte (0: it takes only what is queued); a write waits at most the write time-out. False
// when the port refuses them.
bool serial_set_read_wait(HANDLE handle, DWORD wait_ms);

// One read of what has arrived, at most `cap` bytes. Returns the byte count, 0 when nothing came
// within the read time-out or the read failed.
DWORD serial_read(HANDLE handle, uint8_t* buffer, DWORD cap);

// Writes `count` bytes; the result is not needed by the link (a failed write shows as silence).
void serial_write(HANDLE handle, const uint8_t* bytes, DWORD count);
