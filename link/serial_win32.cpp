// Serial reads, made to behave the same on every system.
//
// With the read time-outs of the link (interval MAXDWORD, constant 100 ms) Windows returns a read
// at once with the bytes already queued, or waits up to 100 ms for the first byte when nothing is
// queued. Some implementations of the serial API wait out the whole 100 ms whenever fewer bytes
// are queued than were asked for. Asking first how many bytes are queued, and then for exactly
// that many, gives the Windows behaviour everywhere: a queued reply is taken at once, and an
// empty queue waits for one byte (at most the time-out) and then takes whatever followed it.
#include "link/serial.h"

#include "link/link_timing.h"

int serial_open(const wchar_t* device_name, HANDLE* handle, SerialHandshakes handshakes) {
    HANDLE h = CreateFileW(device_name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return -1;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    if (!GetCommState(h, &dcb)) {
        CloseHandle(h);
        return -2;
    }
    dcb.BaudRate = 115200;
    dcb.fBinary = 1;
    dcb.fParity = 0;
    dcb.fOutxCtsFlow = 0;
    dcb.fNull = 0;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    if (handshakes == SERIAL_HANDSHAKES_OFF) {
        dcb.fOutX = 0;
        dcb.fInX = 0;
        dcb.fOutxDsrFlow = 0;
        dcb.fDsrSensitivity = 0;
    }
    if (!SetCommState(h, &dcb)) {
        CloseHandle(h);
        return -3;
    }
    if (!serial_set_read_wait(h, LINK_READ_TIMEOUT_MS)) {
        CloseHandle(h);
        return -4;
    }
    *handle = h;
    return 0;
}

bool serial_set_read_wait(HANDLE handle, DWORD wait_ms) {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = wait_ms;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = LINK_WRITE_TIMEOUT_MS;
    return SetCommTimeouts(handle, &timeouts) != 0;
}

namespace {

DWORD queued_bytes(HANDLE handle) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(handle, &errors, &status)) {
        return 0;
    }
    return status.cbInQue;
}

DWORD read_some(HANDLE handle, uint8_t* buffer, DWORD count) {
    DWORD got = 0;
    if (count == 0 || !ReadFile(handle, buffer, count, &got, nullptr)) {
        return 0;
    }
    return got <= count ? got : count;
}

} // namespace

DWORD serial_read(HANDLE handle, uint8_t* buffer, DWORD cap) {
    if (cap == 0) {
        return 0;
    }
    DWORD queued = queued_bytes(handle);
    if (queued > 0) {
        return read_some(handle, buffer, queued < cap ? queued : cap);
    }
    // Nothing queued: wait for the first byte, then take what came with it.
    DWORD got = read_some(handle, buffer, 1);
    if (got == 0) {
        return 0;
    }
    queued = queued_bytes(handle);
    if (queued > cap - 1) {
        queued = cap - 1;
    }
    return got + read_some(handle, buffer + 1, queued);
}

void serial_write(HANDLE handle, const uint8_t* bytes, DWORD count) {
    DWORD written = 0;
    WriteFile(handle, bytes, count, &written, nullptr);
}
