#include "base/text_cp1251.h"

#include <cstdint>

namespace {

char16_t cp1251_unit(unsigned char byte) {
    if (byte < 0x80) {
        return byte;
    }
    if (byte == 0xA8) {
        return u'\u0401'; // Ё
    }
    if (byte == 0xB8) {
        return u'\u0451'; // ё
    }
    return static_cast<char16_t>(0x0400 + ((byte + 0x50) & 0xFF));
}

} // namespace

size_t cp1251_to_utf16(char16_t* dst, const char* src) {
    return cp1251_to_utf16_n(dst, SIZE_MAX, src);
}

size_t cp1251_to_utf16_n(char16_t* dst, size_t dst_units, const char* src) {
    if (dst_units == 0) {
        return 0;
    }
    size_t count = 0;
    for (; src[count] != '\0' && count < dst_units - 1; ++count) {
        dst[count] = cp1251_unit(static_cast<unsigned char>(src[count]));
    }
    dst[count] = 0;
    return count;
}
