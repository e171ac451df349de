// Hexadecimal texts of the control channel, and command codes given by hex or by name.
#pragma once

#include <cstddef>
#include <cstdint>

// Writes the bytes as hex digit pairs without separators and a terminator. Returns the
// characters written, or 0 (and an empty text when cap > 0) when they do not fit.
size_t emu_hex_format(const uint8_t* data, size_t count, char* out, size_t cap);

// Reads hex digit pairs; blanks may stand between pairs (so "0a0b" and "0a 0b" are the same).
// Returns the bytes read, -1 for a text that is not hex pairs, -2 when more than cap bytes.
long emu_hex_parse(const char* text, uint8_t* out, size_t cap);

// A command code: hex digits with or without "0x" (so "103" is 0x0103), or one of the names
// identify, status, read, write.
bool emu_parse_command(const char* text, uint16_t* command);

// A decimal number within [0, max]; the whole text must be the number.
bool emu_parse_unsigned(const char* text, unsigned long max, unsigned long* value);
