// Conversion of 8-bit CP1251 text (the build date, the controller's texts) into UTF-16.
//
// ASCII stays as it is, the Cyrillic letters 0xC0..0xFF become U+0410..U+044F, and 0xA8 / 0xB8
// become Ё / ё. Every other byte from 0x80 up is moved by the same offset as the letters
// (0x0400 + ((b + 0x50) mod 256)), which gives unrelated characters: only the letters matter.
#pragma once

#include <cstddef>

// Converts the NUL-terminated `src`; `dst` must hold one unit per source byte plus one.
// Returns the units written without the terminator.
size_t cp1251_to_utf16(char16_t* dst, const char* src);

// The same into a buffer of `dst_units` units: at most dst_units - 1 units and a terminator
// (nothing when dst_units is 0), the rest of the source dropped.
size_t cp1251_to_utf16_n(char16_t* dst, size_t dst_units, const char* src);
