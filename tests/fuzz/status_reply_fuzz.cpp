// Whatever one read brings back after a status request, and the texts shown for it.
//
// Input: the bytes of the read. They are parsed from a buffer of exactly their size; the readings
// found, and readings made straight of the first 11 bytes (any distance bits at all), are then
// formatted into text buffers of exactly TEXT_LINE_UNITS units.
#include <cstring>
#include <string>

#include "base/number_text.h"
#include "link/status_reply.h"
#include "settings/status_reading_text.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

constexpr char16_t NOT_WORKING[] = u"Не работает";

using Text = std::unique_ptr<char16_t[]>;

bool check_parse(const uint8_t* data, size_t size, StatusReadings* readings) {
    ExactBytes bytes = exact_copy(data, size);
    StatusReadings out;
    memset(&out, 0xCC, sizeof out);
    StatusReadings untouched = out;
    bool ok = status_reply_parse(bytes.get(), size, &out);

    size_t skip = 0;
    while (skip < size && data[skip] == 0) {
        ++skip;
    }
    const uint8_t* frame = data + skip;
    size_t n = size - skip;
    bool whole = n >= 15 && n >= frame[2];
    FUZZ_CHECK(ok == whole);
    if (!ok) {
        FUZZ_CHECK(same_bytes(&out, &untouched, sizeof out));
        return false;
    }
    FUZZ_CHECK(out.raw_light == le16(frame + 4));
    FUZZ_CHECK(bits_of_float(out.distance1) == le32(frame + 6));
    FUZZ_CHECK(bits_of_float(out.distance2) == le32(frame + 10));
    FUZZ_CHECK(out.fault_bits == frame[14]);
    *readings = out;
    return true;
}

// The text must be terminated inside its buffer and equal the expected one.
void check_text(const Text& text, const std::u16string& expected) {
    size_t length = 0;
    while (length < TEXT_LINE_UNITS && text[length] != 0) {
        ++length;
    }
    FUZZ_CHECK(length < TEXT_LINE_UNITS);
    FUZZ_CHECK(std::u16string(text.get(), length) == expected);
}

std::u16string expected_distance(float distance, bool fails) {
    double rounded = std::trunc(static_cast<double>(distance) + 0.5);
    if (fails || !(rounded >= INT32_MIN && rounded <= INT32_MAX)) {
        return NOT_WORKING;
    }
    char text[16];
    snprintf(text, sizeof text, "%d", static_cast<int>(rounded));
    return widen(text);
}

void check_texts(const StatusReadings& readings) {
    Text illuminance(new char16_t[TEXT_LINE_UNITS]);
    Text distance1(new char16_t[TEXT_LINE_UNITS]);
    Text distance2(new char16_t[TEXT_LINE_UNITS]);
    status_reading_texts(&readings, illuminance.get(), distance1.get(), distance2.get());

    float percent = static_cast<float>((4096.0 - readings.raw_light) * 100.0 / 4096.0);
    check_text(illuminance, widen(reference_fixed(percent, 3, 1)));
    check_text(distance1, expected_distance(readings.distance1, readings.fault_bits & 1));
    check_text(distance2, expected_distance(readings.distance2, readings.fault_bits & 2));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    StatusReadings readings{};
    if (check_parse(data, size, &readings)) {
        check_texts(readings);
    }
    if (size >= 11) {
        readings.raw_light = le16(data);
        readings.distance1 = float_of_bits(le32(data + 2));
        readings.distance2 = float_of_bits(le32(data + 6));
        readings.fault_bits = data[10];
        check_texts(readings);
    }
    return 0;
}
