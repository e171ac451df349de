// Helpers shared by the fuzzers: the invariant check that ends a run, a reader that cuts the
// fuzzer's input into fields, exact-size heap copies (so that AddressSanitizer sees every access
// past the bytes a routine was given), and reference results computed another way than the code
// under test: the tests' own CRC-16 (tests/support/test_support.h) and exact decimal expansions
// taken from the C library.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "tests/support/test_support.h" // reference_crc16

// Reference computations are not what is being explored: no coverage feedback from them.
#define FUZZ_REFERENCE TEST_REFERENCE

[[noreturn]] inline void fuzz_fail(const char* what, const char* file, int line) {
    fprintf(stderr, "invariant broken: %s (%s:%d)\n", what, file, line);
    fflush(stderr);
    abort();
}

// Ends the run, so that libFuzzer keeps the input, when an invariant does not hold.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            fuzz_fail(#condition, __FILE__, __LINE__);                                             \
        }                                                                                          \
    } while (0)

// Hands out the fuzzer's input front to back; past its end every field reads as zero bytes.
struct FuzzReader {
    const uint8_t* data;
    size_t size;
};

inline size_t fuzz_left(const FuzzReader* in) {
    return in->size;
}

inline uint8_t fuzz_u8(FuzzReader* in) {
    if (in->size == 0) {
        return 0;
    }
    uint8_t value = *in->data;
    ++in->data;
    --in->size;
    return value;
}

inline uint16_t fuzz_u16(FuzzReader* in) {
    uint16_t low = fuzz_u8(in);
    return static_cast<uint16_t>(low | fuzz_u8(in) << 8);
}

inline uint32_t fuzz_u32(FuzzReader* in) {
    uint32_t low = fuzz_u16(in);
    return low | static_cast<uint32_t>(fuzz_u16(in)) << 16;
}

// Takes up to n bytes; returns how many it took and sets *bytes to them.
inline size_t fuzz_bytes(FuzzReader* in, size_t n, const uint8_t** bytes) {
    size_t take = n < in->size ? n : in->size;
    *bytes = in->data;
    in->data += take;
    in->size -= take;
    return take;
}

// A heap block of exactly n bytes (none for n == 0), so that one byte past it is a finding.
using ExactBytes = std::unique_ptr<uint8_t[]>;

inline ExactBytes exact_copy(const uint8_t* bytes, size_t n) {
    ExactBytes copy(new uint8_t[n]);
    if (n != 0) {
        memcpy(copy.get(), bytes, n);
    }
    return copy;
}

// memcmp for n bytes, where n may be 0 and the pointers then null.
inline bool same_bytes(const void* a, const void* b, size_t n) {
    return n == 0 || memcmp(a, b, n) == 0;
}

inline uint16_t le16(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}

inline uint32_t le32(const uint8_t* at) {
    return static_cast<uint32_t>(le16(at)) | static_cast<uint32_t>(le16(at + 2)) << 16;
}

inline float float_of_bits(uint32_t bits) {
    float value;
    memcpy(&value, &bits, sizeof value);
    return value;
}

inline uint32_t bits_of_float(float value) {
    uint32_t bits;
    memcpy(&bits, &value, sizeof bits);
    return bits;
}

inline std::u16string widen(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

// "%W.Nf" with exact halves rounded away from zero and only the first 17 significant digits
// kept (the rest count as zeros), built from the C library's exact decimal expansion of the
// value; "NaN", "Inf" and "-Inf" for values that are not finite.
FUZZ_REFERENCE inline std::string reference_fixed(double value, int width, int decimals) {
    std::string text;
    if (std::isnan(value)) {
        text = "NaN";
    } else if (std::isinf(value)) {
        text = value < 0 ? "-Inf" : "Inf";
    } else {
        // A double m x 2^e (m of 53 bits) has at most 53 - e digits after the point, and never
        // more than 1074; with that many (and 40 more to round at), the expansion is exact.
        int exponent = 0;
        std::frexp(value, &exponent);
        int places = std::min(std::max(53 - exponent, 0), 1074) + 41;
        static char expansion[1 + 309 + 1 + 1074 + 41 + 1];
        snprintf(expansion, sizeof expansion, "%.*f", places, std::fabs(value));
        std::string digits(expansion);
        int point = static_cast<int>(digits.find('.'));
        digits.erase(static_cast<size_t>(point), 1);
        size_t first = digits.find_first_not_of('0');
        if (first == std::string::npos) {
            first = digits.size();
        }
        for (size_t i = first + 17; i < digits.size(); ++i) {
            digits[i] = '0'; // beyond 17 significant digits
        }
        size_t keep = static_cast<size_t>(point + decimals);
        bool up = keep < digits.size() && digits[keep] >= '5';
        digits.resize(keep);
        for (size_t i = keep; up && i > 0; --i) {
            if (digits[i - 1] == '9') {
                digits[i - 1] = '0';
            } else {
                ++digits[i - 1];
                up = false;
            }
        }
        if (up) {
            digits.insert(digits.begin(), '1');
            ++point;
        }
        std::string whole = digits.substr(0, static_cast<size_t>(point));
        size_t nonzero = whole.find_first_not_of('0');
        whole = nonzero == std::string::npos ? "0" : whole.substr(nonzero);
        text = std::signbit(value) ? "-" : "";
        text += whole;
        if (decimals > 0) {
            text += "." + digits.substr(static_cast<size_t>(point));
        }
    }
    if (static_cast<int>(text.size()) < width) {
        text.insert(0, static_cast<size_t>(width) - text.size(), ' ');
    }
    return text;
}

// The C library's reading of a number text, where its grammar and ours agree: hexadecimal
// numbers, "inf" and "nan" are ours to read as 0, so *comparable is false for them; an exponent
// introduced by d or D is read by turning the letter into e.
FUZZ_REFERENCE inline double reference_number(const char* text, size_t len, bool* comparable) {
    std::string copy(text, strnlen(text, len));
    size_t at = copy.find_first_not_of(" \t\n\v\f\r");
    if (at != std::string::npos && (copy[at] == '+' || copy[at] == '-')) {
        ++at;
    }
    *comparable = true;
    if (at != std::string::npos && at < copy.size()) {
        char c = copy[at];
        char next = at + 1 < copy.size() ? copy[at + 1] : '\0';
        if (c == 'i' || c == 'I' || c == 'n' || c == 'N' ||
            (c == '0' && (next == 'x' || next == 'X'))) {
            *comparable = false;
        }
    }
    for (char& c : copy) {
        if (c == 'd' || c == 'D') {
            c = 'e';
        }
    }
    return strtod(copy.c_str(), nullptr);
}
