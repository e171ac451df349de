// The serial-port list the system publishes: registry value data (any UTF-16 units, not
// necessarily terminated), the number read from them, the device name opened and the probe
// timer id derived from that number.
//
// Input: the value data as little-endian UTF-16 units; its first four bytes also give a second,
// arbitrary 32-bit port number, and its size a name buffer size.
#include <cwchar>
#include <string>

#include "link/port_name.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// wcstol's reading from the fourth unit on, saturated at the 32-bit limits as on Windows, where
// long has 32 bits. Only for ASCII data, where the C library's classes are plain.
FUZZ_REFERENCE bool reference_parse(const char16_t* data, size_t units, int32_t* number) {
    std::wstring text;
    for (size_t i = 3; i < units; ++i) {
        if (data[i] >= 0x80) {
            return false;
        }
        text += static_cast<wchar_t>(data[i]);
    }
    long long value = wcstoll(text.c_str(), nullptr, 10);
    *number = value > INT32_MAX   ? INT32_MAX
              : value < INT32_MIN ? INT32_MIN
                                  : static_cast<int32_t>(value);
    return true;
}

void check_device_name(int32_t number, size_t cap) {
    std::unique_ptr<char16_t[]> out(new char16_t[cap]);
    size_t length = port_device_name(out.get(), cap, number);
    char expected[32];
    snprintf(expected, sizeof expected,
             static_cast<uint32_t>(number) <= 9 ? "COM%d" : "\\\\.\\COM%d", number);
    if (cap == 0) {
        FUZZ_CHECK(length == 0);
        return;
    }
    std::string whole(expected);
    size_t fits = std::min(whole.size(), cap - 1);
    FUZZ_CHECK(length == fits);
    FUZZ_CHECK(std::u16string(out.get(), length) == widen(whole.substr(0, fits)));
    FUZZ_CHECK(out[length] == 0);
}

void check_timer_id(int32_t number) {
    uint32_t id = 0xDEADBEEF;
    bool usable = port_probe_timer_id(number, &id);
    int64_t candidate = static_cast<int64_t>(number) + 1001;
    bool expected = candidate >= 1 && candidate <= 0xFFFF && candidate != 1000 &&
                    candidate != 1001 && candidate != 5001;
    FUZZ_CHECK(usable == expected);
    FUZZ_CHECK(id == (usable ? static_cast<uint32_t>(candidate) : 0xDEADBEEF));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t units = size / 2;
    std::unique_ptr<char16_t[]> value(new char16_t[units]);
    for (size_t i = 0; i < units; ++i) {
        value[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    }
    int32_t number = port_number_parse(value.get(), units);
    int32_t expected = 0;
    if (reference_parse(value.get(), units, &expected)) {
        FUZZ_CHECK(number == expected);
    }
    int32_t other = size >= 4 ? static_cast<int32_t>(le32(data)) : number;
    for (int32_t n : {number, other}) {
        check_device_name(n, 32);
        check_device_name(n, size % 20);
        check_timer_id(n);
    }
    return 0;
}
