#include "emulator/emu_hex.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "emulator/emu_frame.h"

size_t emu_hex_format(const uint8_t* data, size_t count, char* out, size_t cap) {
    static const char digits[] = "0123456789abcdef";
    if (cap == 0) {
        return 0;
    }
    if (count > (cap - 1) / 2) {
        out[0] = '\0';
        return 0;
    }
    for (size_t i = 0; i < count; ++i) {
        out[2 * i] = digits[data[i] >> 4];
        out[2 * i + 1] = digits[data[i] & 0x0F];
    }
    out[2 * count] = '\0';
    return 2 * count;
}

static int hex_digit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

long emu_hex_parse(const char* text, uint8_t* out, size_t cap) {
    size_t n = 0;
    const char* p = text;
    for (;;) {
        while (*p == ' ' || *p == '\t') {
            ++p;
        }
        if (*p == '\0') {
            return static_cast<long>(n);
        }
        int high = hex_digit(p[0]);
        int low = high < 0 ? -1 : hex_digit(p[1]);
        if (low < 0) {
            return -1;
        }
        if (n == cap) {
            return -2;
        }
        out[n++] = static_cast<uint8_t>(high << 4 | low);
        p += 2;
    }
}

bool emu_parse_command(const char* text, uint16_t* command) {
    static const struct {
        const char* name;
        uint16_t command;
    } names[] = {{"identify", EMU_CMD_IDENTIFY},
                 {"status", EMU_CMD_GET_STATUS},
                 {"read", EMU_CMD_READ_SETTINGS},
                 {"write", EMU_CMD_WRITE_SETTINGS}};
    for (const auto& n : names) {
        if (strcmp(text, n.name) == 0) {
            *command = n.command;
            return true;
        }
    }
    const char* p = text;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        p += 2;
    }
    size_t digits = strlen(p);
    if (digits == 0 || digits > 4) {
        return false;
    }
    unsigned value = 0;
    for (size_t i = 0; i < digits; ++i) {
        int d = hex_digit(p[i]);
        if (d < 0) {
            return false;
        }
        value = value << 4 | static_cast<unsigned>(d);
    }
    *command = static_cast<uint16_t>(value);
    return true;
}

bool emu_parse_unsigned(const char* text, unsigned long max, unsigned long* value) {
    if (text[0] < '0' || text[0] > '9') {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    unsigned long v = strtoul(text, &end, 10);
    if (errno != 0 || *end != '\0' || v > max) {
        return false;
    }
    *value = v;
    return true;
}
