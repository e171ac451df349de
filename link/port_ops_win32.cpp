// Serial ports on Windows for the command-line tool, through the window program's own serial
// code (link/serial_win32.cpp): opened exclusively, set to the controller's line with XON/XOFF
// and DSR handshaking off, read by first asking what is queued. A port's line settings and
// time-outs as the tool found them are kept when it is opened and put back when it is closed,
// as on Linux the terminal's settings are: the next program finds the port as it left it.
//
// The wait for an answer is the read itself: before each read the port's total read time-out
// is set to what is left until the deadline, so the system wakes the read as the first byte
// comes in, or at the deadline; nothing spins. A time-out of 0 takes only what is queued.
//
// Ports are named as the system lists them, "COM5"; such a name is opened as the window program
// opens it ("\\.\COM12" from COM10 on). Any other name is opened as given.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwctype>

#include "base/text_win32.h"
#include "link/clock.h"
#include "link/port_list.h"
#include "link/port_name.h"
#include "link/port_ops.h"
#include "link/serial.h"

namespace {

// "COM" and digits only, any case: the number; -1 for any other name.
long com_number(const wchar_t* name) {
    if (towupper(name[0]) != L'C' || towupper(name[1]) != L'O' || towupper(name[2]) != L'M' ||
        name[3] == 0) {
        return -1;
    }
    long number = 0;
    for (const wchar_t* c = name + 3; *c != 0; ++c) {
        if (*c < L'0' || *c > L'9' || number > 99999999) {
            return -1;
        }
        number = number * 10 + (*c - L'0');
    }
    return number;
}

// One port in use: its handle and what is needed to give it back as it was found.
struct Win32Port {
    HANDLE handle;     // the open port
    SerialSaved saved; // its settings and time-outs before this program changed them
};

Win32Port* port_of(PortHandle port) {
    return reinterpret_cast<Win32Port*>(port);
}

HANDLE handle_of(PortHandle port) {
    return port_of(port)->handle;
}

int port_open(void*, const char* name, PortHandle* port) {
    wchar_t wide[PORT_NAME_BYTES];
    if (!text_to_wide(name, wide, PORT_NAME_BYTES)) {
        return PORT_ABSENT;
    }
    wchar_t device[PORT_NAME_BYTES];
    const long number = com_number(wide);
    if (number >= 0) {
        port_device_name(reinterpret_cast<char16_t*>(device), PORT_NAME_BYTES,
                         static_cast<int32_t>(number));
    } else {
        wcscpy(device, wide);
    }
    Win32Port* p = static_cast<Win32Port*>(calloc(1, sizeof(Win32Port)));
    if (p == nullptr) {
        return PORT_FAILED;
    }
    const int opened = serial_open(device, &p->handle, SERIAL_HANDSHAKES_OFF, &p->saved);
    const DWORD error = GetLastError();
    if (opened != 0) {
        free(p);
    }
    if (opened == -1) {
        switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            return PORT_ABSENT;
        case ERROR_ACCESS_DENIED: // what an open of a port held by another program gives
        case ERROR_SHARING_VIOLATION:
            return PORT_BUSY;
        default:
            return PORT_FAILED;
        }
    }
    if (opened != 0) {
        return PORT_NOT_SERIAL;
    }
    *port = reinterpret_cast<PortHandle>(p);
    return PORT_OPENED;
}

void port_close(void*, PortHandle port) {
    Win32Port* p = port_of(port);
    serial_restore(p->handle, &p->saved);
    CloseHandle(p->handle);
    free(p);
}

void port_discard(void*, PortHandle port) {
    PurgeComm(handle_of(port), PURGE_RXCLEAR);
}

bool port_write(void*, PortHandle port, const uint8_t* bytes, size_t n) {
    DWORD written = 0;
    return WriteFile(handle_of(port), bytes, static_cast<DWORD>(n), &written, nullptr) &&
           written == n;
}

long port_read(void*, PortHandle port, uint8_t* buffer, size_t cap, int64_t deadline_ms) {
    const HANDLE handle = handle_of(port);
    const int64_t left = deadline_ms - clock_now_ms();
    if (!serial_set_read_wait(handle, left > 0 ? static_cast<DWORD>(left) : 0)) {
        return -1;
    }
    const DWORD got =
        serial_read(handle, buffer, cap < MAXDWORD ? static_cast<DWORD>(cap) : MAXDWORD);
    if (got > 0) {
        return static_cast<long>(got);
    }
    DWORD errors = 0;
    COMSTAT status{};
    return ClearCommError(handle, &errors, &status) ? 0 : -1; // a port that is gone fails this
}

int64_t port_now(void*) {
    return clock_now_ms();
}

const PortOps WIN32_PORT_OPS = {nullptr,    port_open, port_close, port_discard,
                                port_write, port_read, port_now};

} // namespace

const PortOps* port_ops_system() {
    return &WIN32_PORT_OPS;
}
