#include "link/port_console.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t CONSOLE_NAME_BYTES = 64; // a console's name with its terminator

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// A name under /dev as the kernel names a tty: letters, digits, '_' and '-'. Anything else
// (a '/', a "..") is not looked up, so that no text leads the lookup out of /dev.
bool is_device_name(const char* name) {
    if (name[0] == 0) {
        return false;
    }
    for (const char* c = name; *c != 0; ++c) {
        const bool letter = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z');
        if (!letter && !(*c >= '0' && *c <= '9') && *c != '_' && *c != '-') {
            return false;
        }
    }
    return true;
}

void add(ConsoleDevices* out, ConsoleDevice device) {
    if (out->count < CONSOLE_DEVICES_MAX && !console_devices_has(out, device)) {
        out->devices[out->count++] = device;
    }
}

void add_named(ConsoleDevices* out, const char* name, ConsoleNumberOf number_of) {
    ConsoleDevice device{};
    if (is_device_name(name) && number_of(name, &device)) {
        add(out, device);
    }
}

// Copies the word that starts at `text` (cut to the buffer) and returns the position after it.
const char* take_word(const char* text, const char* end, char word[CONSOLE_NAME_BYTES]) {
    size_t n = 0;
    while (text < end && !is_blank(*text)) {
        if (n + 1 < CONSOLE_NAME_BYTES) {
            word[n++] = *text;
        }
        ++text;
    }
    word[n] = 0;
    return text;
}

// "4:64" as a device number; false for any other word.
bool parse_number(const char* word, ConsoleDevice* device) {
    const char* colon = strchr(word, ':');
    if (colon == nullptr || colon == word || colon[1] == 0) {
        return false;
    }
    if (strspn(word, "0123456789") != static_cast<size_t>(colon - word) ||
        strspn(colon + 1, "0123456789") != strlen(colon + 1) || colon - word > 9 ||
        strlen(colon + 1) > 9) {
        return false;
    }
    device->major = static_cast<uint32_t>(strtoul(word, nullptr, 10));
    device->minor = static_cast<uint32_t>(strtoul(colon + 1, nullptr, 10));
    return true;
}

// One line of /proc/consoles, from `line` to `end`.
void parse_console_line(const char* line, const char* end, ConsoleNumberOf number_of,
                        ConsoleDevices* out) {
    char name[CONSOLE_NAME_BYTES];
    char last[CONSOLE_NAME_BYTES] = "";
    const char* at = line;
    while (at < end && is_blank(*at)) {
        ++at;
    }
    at = take_word(at, end, name);
    if (name[0] == 0) {
        return;
    }
    while (at < end) {
        if (is_blank(*at)) {
            ++at;
        } else {
            at = take_word(at, end, last);
        }
    }
    ConsoleDevice device{};
    if (parse_number(last, &device)) {
        add(out, device);
    } else {
        add_named(out, name, number_of);
    }
}

} // namespace

void console_devices_parse(const char* active, const char* consoles, ConsoleNumberOf number_of,
                           ConsoleDevices* out) {
    out->count = 0;
    if (active != nullptr) {
        const char* end = active + strlen(active);
        for (const char* at = active; at < end;) {
            if (is_blank(*at)) {
                ++at;
                continue;
            }
            char name[CONSOLE_NAME_BYTES];
            at = take_word(at, end, name);
            add_named(out, name, number_of);
        }
    }
    if (consoles != nullptr) {
        const char* end = consoles + strlen(consoles);
        for (const char* line = consoles; line < end;) {
            const char* line_end = static_cast<const char*>(memchr(line, '\n', end - line));
            if (line_end == nullptr) {
                line_end = end;
            }
            parse_console_line(line, line_end, number_of, out);
            line = line_end == end ? end : line_end + 1;
        }
    }
}

bool console_devices_has(const ConsoleDevices* consoles, ConsoleDevice device) {
    for (size_t i = 0; i < consoles->count; ++i) {
        if (consoles->devices[i].major == device.major &&
            consoles->devices[i].minor == device.minor) {
            return true;
        }
    }
    return false;
}
