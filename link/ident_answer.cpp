#include "link/ident_answer.h"

#include <cmath>
#include <cstring>

#include "link/frame.h"
#include "base/number_text.h"

namespace {

constexpr char IDENT_MARK[] = "VORK, kavren board"; // begins the identification text
constexpr char VERSION_MARK[] = "kavren board v";   // the version number follows it
constexpr size_t IDENT_MARK_BYTES = sizeof(IDENT_MARK) - 1;
constexpr size_t VERSION_MARK_BYTES = sizeof(VERSION_MARK) - 1;

bool find_text(const char* needle, size_t m, const uint8_t* data, size_t n, size_t* past) {
    return ident_find_bytes(reinterpret_cast<const uint8_t*>(needle), m, data, n, past);
}

// Bytes of identification text from `at`, where the string was found in n received bytes.
size_t text_length(const uint8_t* buf, size_t n, size_t at) {
    size_t length = n - at; // no usable length field: up to the end of the data
    if (at >= 2) {
        size_t field = static_cast<size_t>(buf[at - 2] | (buf[at - 1] << 8));
        if (field >= 6 && field - 6 < length) {
            length = field - 6;
        }
    }
    return length < IDENT_TEXT_CAP - 1 ? length : IDENT_TEXT_CAP - 1;
}

// The version number as text, times 1000 cut toward zero; 0 when it makes no 32-bit value.
int32_t revision_of(const uint8_t* text, size_t len) {
    float version = static_cast<float>(num_parse_narrow(reinterpret_cast<const char*>(text), len));
    double revision = std::trunc(static_cast<double>(version) * 1000.0);
    if (!(revision >= INT32_MIN && revision <= INT32_MAX)) {
        return 0;
    }
    return static_cast<int32_t>(revision);
}

} // namespace

bool ident_find_bytes(const uint8_t* needle, size_t m, const uint8_t* data, size_t n,
                      size_t* past) {
    if (m == 0) {
        *past = 0;
        return true;
    }
    for (size_t i = 0; m <= n && i <= n - m; ++i) {
        if (memcmp(data + i, needle, m) == 0) {
            *past = i + m;
            return true;
        }
    }
    return false;
}

bool ident_answer_whole(const uint8_t* data, size_t n) {
    size_t past = 0;
    if (!find_text(IDENT_MARK, IDENT_MARK_BYTES, data, n, &past)) {
        return false;
    }
    const size_t at = past - IDENT_MARK_BYTES;
    if (at < LINK_FRAME_PAYLOAD_AT) {
        return false;
    }
    const size_t length = static_cast<size_t>(data[at - 2] | (data[at - 1] << 8));
    return length >= LINK_FRAME_OVERHEAD && n >= at - LINK_FRAME_PAYLOAD_AT + length;
}

bool ident_answer_begins(const uint8_t* data, size_t n, size_t* at, size_t* bytes) {
    constexpr size_t SHORTEST = LINK_FRAME_OVERHEAD + IDENT_MARK_BYTES;
    constexpr size_t LONGEST = LINK_FRAME_OVERHEAD + IDENT_TEXT_CAP - 1;
    for (size_t p = 0; p + LINK_FRAME_PAYLOAD_AT <= n; ++p) {
        const size_t length = static_cast<size_t>(data[p + 2] | (data[p + 3] << 8));
        const size_t text = p + LINK_FRAME_PAYLOAD_AT;
        const size_t came = n - text < IDENT_MARK_BYTES ? n - text : IDENT_MARK_BYTES;
        const bool command = (data[p] | (data[p + 1] << 8)) == CMD_IDENTIFY;
        if (length >= SHORTEST && length <= LONGEST && p + length > n &&
            memcmp(data + text, IDENT_MARK, came) == 0 && (came > 0 || command)) {
            *at = p;
            *bytes = length;
            return true;
        }
    }
    return false;
}

bool ident_parse(uint8_t* buf, size_t buf_cap, size_t n, IdentAnswer* out) {
    if (n > buf_cap) {
        n = buf_cap;
    }
    size_t past = 0;
    if (!find_text(IDENT_MARK, IDENT_MARK_BYTES, buf, n, &past)) {
        return false;
    }
    size_t at = past - IDENT_MARK_BYTES;
    size_t length = text_length(buf, n, at);
    memcpy(out->text, buf + at, length);
    out->text[length] = '\0';

    if (n >= 2) {
        buf[n - 2] = 0;
    }
    out->board_revision = 0;
    size_t version_at = 0;
    if (find_text(VERSION_MARK, VERSION_MARK_BYTES, buf + at, n - at, &version_at)) {
        version_at += at;
        out->board_revision = revision_of(buf + version_at, n - version_at);
    }
    return true;
}
