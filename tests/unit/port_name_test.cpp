#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "link/port_name.h"

namespace {

int32_t parse(const std::u16string& data) {
    return port_number_parse(data.data(), data.size());
}

std::u16string name(int32_t number, size_t cap = 100) {
    char16_t out[100] = {};
    const size_t n = port_device_name(out, cap, number);
    return std::u16string(out, n);
}

} // namespace

TEST(PortName, NumberIsReadAfterTheFirstThreeUnitsLikeWcstol) {
    EXPECT_EQ(parse(u"COM3"), 3);
    EXPECT_EQ(parse(u"COM10"), 10);
    EXPECT_EQ(parse(u"XYZ42"), 42); // the first three units are not compared
    EXPECT_EQ(parse(u"COM 7x"), 7); // blanks skipped, stops at the first non-digit
    EXPECT_EQ(parse(u"COM-1"), -1);
    EXPECT_EQ(parse(u"COM"), 0); // no digits
    EXPECT_EQ(parse(u"CO"), 0);  // shorter than the prefix
    EXPECT_EQ(parse(u"COMabc"), 0);
    EXPECT_EQ(parse(u"COM99999999999"), INT32_MAX);
    EXPECT_EQ(parse(u"COM-99999999999"), INT32_MIN);
    // The data need not be terminated: digits past the given length are not read.
    const char16_t unterminated[] = {u'C', u'O', u'M', u'1', u'2', u'9'};
    EXPECT_EQ(port_number_parse(unterminated, 5), 12);
}

TEST(PortName, DeviceNamesUsePlainNamesOnlyUpToNine) {
    EXPECT_EQ(name(9), u"COM9");
    EXPECT_EQ(name(0), u"COM0");
    EXPECT_EQ(name(10), u"\\\\.\\COM10");
    EXPECT_EQ(name(-1), u"\\\\.\\COM-1");
    EXPECT_EQ(name(INT32_MIN), u"\\\\.\\COM-2147483648");
    EXPECT_EQ(name(12345, 8), u"\\\\.\\COM"); // cut to the room given, still terminated
    EXPECT_EQ(name(5, 1), u"");
}

TEST(PortName, ProbeTimerIdsNeverFallOnTheDialogsOwnTimers) {
    uint32_t id = 0;
    EXPECT_TRUE(port_probe_timer_id(5, &id));
    EXPECT_EQ(id, 1006u);
    EXPECT_FALSE(port_probe_timer_id(-1, &id));    // 1000: the poll timer
    EXPECT_FALSE(port_probe_timer_id(0, &id));     // 1001: the scan timer
    EXPECT_FALSE(port_probe_timer_id(4000, &id));  // 5001: the reply timer
    EXPECT_TRUE(port_probe_timer_id(64534, &id));  // 65535, the largest 16-bit id
    EXPECT_FALSE(port_probe_timer_id(64535, &id)); // would not survive as a 16-bit id
    EXPECT_FALSE(port_probe_timer_id(-1001, &id)); // 0 is no timer id
    EXPECT_FALSE(port_probe_timer_id(INT32_MIN, &id));
    EXPECT_FALSE(port_probe_timer_id(INT32_MAX, &id));
}
