// Whatever a serial port sends back to the identification request.
//
// Input: a u16 byte count as the read reports it (it may exceed the buffer), a fill byte for the
// part of the probe buffer the read did not reach, then the bytes read. They go through
// ident_parse twice: in the program's 8192-byte probe buffer and in a buffer of exactly their
// own size. The same input, cut into a needle and data, goes through ident_find_bytes.
#include <algorithm>
#include <cstring>
#include <vector>

#include "link/ident_answer.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

constexpr size_t PROBE_BUFFER_BYTES = 8192;
constexpr char IDENT_MARK[] = "VORK, kavren board";
constexpr char VERSION_MARK[] = "kavren board v";

// Position of the first m-byte needle in data[0..n) (0 for an empty needle), or n when it is
// not there; compared byte by byte.
FUZZ_REFERENCE size_t search(const uint8_t* data, size_t n, const uint8_t* needle, size_t m) {
    for (size_t at = 0; at + m <= n; ++at) {
        size_t i = 0;
        while (i < m && data[at + i] == needle[i]) {
            ++i;
        }
        if (i == m) {
            return at;
        }
    }
    return n;
}

size_t search(const uint8_t* data, size_t n, const char* needle) {
    return search(data, n, reinterpret_cast<const uint8_t*>(needle), strlen(needle));
}

// The length of the identification text: the frame's length field less 6 when that is usable,
// else up to the end of the data; never more than the text buffer takes.
size_t expected_text_length(const uint8_t* data, size_t n, size_t at) {
    size_t length = n - at;
    if (at >= 2) {
        size_t field = le16(data + at - 2);
        if (field >= 6 && field - 6 < length) {
            length = field - 6;
        }
    }
    return std::min(length, IDENT_TEXT_CAP - 1);
}

// The board revision that the version text after "kavren board v" gives, read by the C library.
bool expected_revision(const uint8_t* text, size_t len, int32_t* revision) {
    bool comparable = false;
    double value = reference_number(reinterpret_cast<const char*>(text), len, &comparable);
    double scaled = std::trunc(static_cast<double>(static_cast<float>(value)) * 1000.0);
    *revision = scaled >= INT32_MIN && scaled <= INT32_MAX ? static_cast<int32_t>(scaled) : 0;
    return comparable;
}

void check_parse(uint8_t* buf, size_t cap, size_t n) {
    std::vector<uint8_t> before(buf, buf + cap);
    IdentAnswer answer;
    memset(&answer, 0xCC, sizeof answer);
    IdentAnswer untouched = answer;

    bool found = ident_parse(buf, cap, n, &answer);

    size_t received = std::min(n, cap);
    size_t at = search(before.data(), received, IDENT_MARK);
    FUZZ_CHECK(found == (at < received));
    if (!found) {
        FUZZ_CHECK(same_bytes(&answer, &untouched, sizeof answer));
        FUZZ_CHECK(same_bytes(buf, before.data(), cap));
        return;
    }
    // Only the byte where a whole answer's CRC begins is cleared; the rest stays as received.
    for (size_t i = 0; i < cap; ++i) {
        bool cleared = received >= 2 && i == received - 2;
        FUZZ_CHECK(buf[i] == (cleared ? 0 : before[i]));
    }
    size_t length = expected_text_length(before.data(), received, at);
    FUZZ_CHECK(same_bytes(answer.text, before.data() + at, length));
    FUZZ_CHECK(answer.text[length] == '\0');

    size_t version = search(buf + at, received - at, VERSION_MARK);
    if (version == received - at) {
        FUZZ_CHECK(answer.board_revision == 0);
        return;
    }
    size_t number_at = at + version + strlen(VERSION_MARK);
    int32_t revision = 0;
    if (expected_revision(buf + number_at, received - number_at, &revision)) {
        FUZZ_CHECK(answer.board_revision == revision);
    }
}

void check_ident_find_bytes(const uint8_t* data, size_t size) {
    FuzzReader in{data, size};
    const uint8_t* needle_bytes = nullptr;
    size_t m = fuzz_bytes(&in, fuzz_u8(&in) % 24, &needle_bytes);
    ExactBytes needle = exact_copy(needle_bytes, m);
    const uint8_t* rest = nullptr;
    size_t n = fuzz_bytes(&in, fuzz_left(&in), &rest);
    ExactBytes haystack = exact_copy(rest, n);

    size_t past = SIZE_MAX;
    bool found = ident_find_bytes(needle.get(), m, haystack.get(), n, &past);
    size_t at = search(haystack.get(), n, needle.get(), m);
    FUZZ_CHECK(found == (m == 0 || at < n));
    if (found) {
        FUZZ_CHECK(past == at + m);
        FUZZ_CHECK(past <= n);
    } else {
        FUZZ_CHECK(past == SIZE_MAX);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    check_ident_find_bytes(data, size);

    FuzzReader in{data, size};
    size_t n = fuzz_u16(&in);
    uint8_t fill = fuzz_u8(&in);
    const uint8_t* bytes = nullptr;
    size_t count = fuzz_bytes(&in, PROBE_BUFFER_BYTES, &bytes);

    // The program's probe buffer: what earlier reads left lies beyond the bytes of this one.
    ExactBytes probe(new uint8_t[PROBE_BUFFER_BYTES]);
    memset(probe.get(), fill, PROBE_BUFFER_BYTES);
    if (count != 0) {
        memcpy(probe.get(), bytes, count);
    }
    check_parse(probe.get(), PROBE_BUFFER_BYTES, n);

    // A buffer that ends with the bytes read.
    ExactBytes exact = exact_copy(bytes, count);
    check_parse(exact.get(), count, n);
    return 0;
}
