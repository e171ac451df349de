#include "link/port_name.h"

#include <climits>

#include "link/dialog_timers.h"

namespace {

bool is_space(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

size_t put_ascii(char16_t* out, size_t cap, size_t at, const char* text) {
    for (; *text != 0 && at + 1 < cap; ++text) {
        out[at++] = static_cast<char16_t>(*text);
    }
    return at;
}

} // namespace

int32_t port_number_parse(const char16_t* data, size_t units) {
    size_t i = 3; // the "COM" of the name is skipped without being compared
    while (i < units && is_space(data[i])) {
        ++i;
    }
    bool negative = false;
    if (i < units && (data[i] == u'+' || data[i] == u'-')) {
        negative = data[i] == u'-';
        ++i;
    }
    int64_t value = 0;
    for (; i < units && data[i] >= u'0' && data[i] <= u'9'; ++i) {
        value = value * 10 + (data[i] - u'0');
        if (value > static_cast<int64_t>(INT32_MAX) + 1) {
            value = static_cast<int64_t>(INT32_MAX) + 1; // saturates, keeps consuming digits
        }
    }
    if (negative) {
        return value > static_cast<int64_t>(INT32_MAX) ? INT32_MIN : static_cast<int32_t>(-value);
    }
    return value > INT32_MAX ? INT32_MAX : static_cast<int32_t>(value);
}

size_t port_device_name(char16_t* out, size_t cap, int32_t number) {
    if (cap == 0) {
        return 0;
    }
    size_t at = 0;
    // Compared as unsigned, so negative numbers take the device namespace form too.
    at = put_ascii(out, cap, at, static_cast<uint32_t>(number) <= 9 ? "COM" : "\\\\.\\COM");
    char digits[12];
    size_t n = 0;
    int64_t v = number;
    if (v < 0) {
        at = put_ascii(out, cap, at, "-");
        v = -v;
    }
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (n > 0 && at + 1 < cap) {
        out[at++] = static_cast<char16_t>(digits[--n]);
    }
    out[at] = 0;
    return at;
}

bool port_probe_timer_id(int32_t number, uint32_t* id) {
    const int64_t candidate = static_cast<int64_t>(number) + TIMER_PROBE_BASE;
    if (candidate < 1 || candidate > 0xFFFF || candidate == TIMER_POLL || candidate == TIMER_SCAN ||
        candidate == TIMER_REPLY) {
        return false;
    }
    *id = static_cast<uint32_t>(candidate);
    return true;
}
