// Helpers shared by the emulator's tests: hex texts to byte vectors and back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "emulator/emu_hex.h"

inline std::vector<uint8_t> hex_bytes(const char* text) {
    std::vector<uint8_t> out(4096);
    long n = emu_hex_parse(text, out.data(), out.size());
    out.resize(n < 0 ? 0 : static_cast<size_t>(n));
    return out;
}

inline std::string hex_text(const uint8_t* data, size_t n) {
    std::string out(2 * n + 1, '\0');
    emu_hex_format(data, n, out.data(), out.size());
    out.resize(2 * n);
    return out;
}
