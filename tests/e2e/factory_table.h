// Small helpers shared by the end-to-end tests: the factory settings as a table (built from the
// defaults the form is filled with) and the hexadecimal texts of the emulator's control channel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "settings/number_text.h"
#include "settings/settings_layout.h"

// The table the form holds after the factory defaults: every default write, in its order.
inline void factory_table(float table[SETTINGS_COUNT]) {
    DefaultStep steps[DEFAULT_STEP_COUNT];
    const size_t n = settings_defaults(steps, DEFAULT_STEP_COUNT);
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        table[p] = 0.0f;
    }
    for (size_t i = 0; i < n; ++i) {
        table[steps[i].position] = steps[i].is_flag
                                       ? (steps[i].checked ? 1.0f : 0.0f)
                                       : static_cast<float>(num_parse_wide(steps[i].text));
    }
}

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
