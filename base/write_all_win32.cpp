#include "base/write_all_win32.h"

#include <cstdint>

namespace {

constexpr DWORD WRITE_CHUNK = 1u << 20; // at most this much per WriteFile

bool failed(DWORD* error, DWORD code) {
    if (error != nullptr) {
        *error = code;
    }
    return false;
}

} // namespace

bool write_all(HANDLE handle, const void* bytes, size_t n, DWORD* error) {
    const uint8_t* at = static_cast<const uint8_t*>(bytes);
    while (n > 0) {
        const DWORD chunk = n < WRITE_CHUNK ? static_cast<DWORD>(n) : WRITE_CHUNK;
        DWORD written = 0;
        if (!WriteFile(handle, at, chunk, &written, nullptr)) {
            return failed(error, GetLastError());
        }
        if (written == 0) {
            return failed(error, ERROR_WRITE_FAULT);
        }
        at += written;
        n -= written;
    }
    return true;
}
