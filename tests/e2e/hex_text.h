// The hexadecimal texts of the emulator's control channel ("set settings HEX", "raw CMD HEX",
// the replies of "get settings" and "last-request").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

inline bool hex_decode(const char* text, uint8_t* out, size_t count) {
    auto digit = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    for (size_t i = 0; i < count; ++i) {
        const int hi = digit(text[2 * i]);
        const int lo = hi < 0 ? -1 : digit(text[2 * i + 1]);
        if (lo < 0) {
            return false;
        }
        out[i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    return true;
}

inline std::string hex_encode(const uint8_t* bytes, size_t count) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        text.push_back(digits[bytes[i] >> 4]);
        text.push_back(digits[bytes[i] & 15]);
    }
    return text;
}
