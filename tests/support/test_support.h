// What several test programs need and work out for themselves, apart from the code under test:
// the reference CRC-16 of the settings payload, the settings file and the link frames, and, for
// the Windows test programs, writing and reading whole files.
//
// The reference CRC is the tests' own, written from the definition of CRC-16/CCITT-FALSE
// (polynomial 0x1021, initial value 0xFFFF, no reflection, no final XOR), never the program's
// link_crc16: a fault there must show as a difference, not be repeated by the expected value.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__clang__)
// A reference computation is not what a fuzzer explores: no coverage feedback from it.
#define TEST_REFERENCE __attribute__((no_sanitize("coverage")))
#else
#define TEST_REFERENCE
#endif

// CRC-16/CCITT-FALSE from a table of the remainders of every byte, each worked out one bit at a
// time straight from the definition (a byte at a time keeps the fuzzers quick).
TEST_REFERENCE inline uint16_t reference_crc16(const uint8_t* data, size_t count) {
    static uint16_t table[256];
    static bool ready = false;
    if (!ready) {
        for (int byte = 0; byte < 256; ++byte) {
            uint16_t crc = static_cast<uint16_t>(byte << 8);
            for (int bit = 0; bit < 8; ++bit) {
                crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
            }
            table[byte] = crc;
        }
        ready = true;
    }
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < count; ++i) {
        crc = static_cast<uint16_t>((crc << 8) ^ table[(crc >> 8) ^ data[i]]);
    }
    return crc;
}

#ifdef _WIN32
#include <windows.h>

#include <string>
#include <vector>

// The whole content of a file as its size gives it (a device such as Z:\dev\full, which reads
// without end, gives nothing); empty when it cannot be read.
inline std::vector<uint8_t> file_bytes(const std::wstring& path) {
    std::vector<uint8_t> bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return bytes;
    }
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        size_t done = 0;
        DWORD got = 0;
        while (done < bytes.size() &&
               ReadFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &got,
                        nullptr) &&
               got > 0) {
            done += got;
        }
        bytes.resize(done);
    }
    CloseHandle(file);
    return bytes;
}

// Creates or truncates a file with `bytes`, then extends it to `size` bytes of zeros, without
// writing them, when size >= 0. False when the file could not be made so.
inline bool write_file(const std::wstring& path, const std::vector<uint8_t>& bytes,
                       LONGLONG size = -1) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    if (ok && size >= 0) {
        LARGE_INTEGER at;
        at.QuadPart = size;
        ok = SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    }
    CloseHandle(file);
    return ok;
}
#endif
