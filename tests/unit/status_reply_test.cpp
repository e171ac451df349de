#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "link/status_reply.h"
#include "settings/status_reading_text.h"

namespace {

std::vector<uint8_t> status_frame(uint16_t raw, float d1, float d2, uint8_t faults) {
    std::vector<uint8_t> frame{
        0x02, 0x00, 17, 0x00, static_cast<uint8_t>(raw & 0xFF), static_cast<uint8_t>(raw >> 8)};
    for (float d : {d1, d2}) {
        uint8_t bytes[4];
        memcpy(bytes, &d, 4); // the host is little-endian, as the controller
        frame.insert(frame.end(), bytes, bytes + 4);
    }
    frame.insert(frame.end(), {faults, 0xAB, 0xCD});
    return frame;
}

bool parse(const std::vector<uint8_t>& bytes, StatusReadings* out) {
    // An exact-size copy, so the sanitizer catches any read past the bytes received.
    std::vector<uint8_t> copy(bytes);
    return status_reply_parse(copy.data(), copy.size(), out);
}

struct Texts {
    char16_t illuminance[TEXT_LINE_UNITS];
    char16_t distance1[TEXT_LINE_UNITS];
    char16_t distance2[TEXT_LINE_UNITS];
};

Texts texts_of(uint16_t raw, float d1, float d2, uint8_t faults) {
    StatusReadings readings{raw, d1, d2, faults};
    Texts texts{};
    status_reading_texts(&readings, texts.illuminance, texts.distance1, texts.distance2);
    return texts;
}

std::u16string illuminance_of(uint16_t raw) {
    return texts_of(raw, 0, 0, 0).illuminance;
}
std::u16string distance_of(float d) {
    return texts_of(0, d, 0, 0).distance1;
}

} // namespace

TEST(StatusReplyParse, ReadsEveryField) {
    StatusReadings out{};
    ASSERT_TRUE(parse(status_frame(0x0123, 12.5f, -3.0f, 2), &out));
    EXPECT_EQ(out.raw_light, 0x0123);
    EXPECT_EQ(out.distance1, 12.5f);
    EXPECT_EQ(out.distance2, -3.0f);
    EXPECT_EQ(out.fault_bits, 2);
}

TEST(StatusReplyParse, LeadingZeroBytesAreSkipped) {
    std::vector<uint8_t> bytes(40, 0);
    std::vector<uint8_t> frame = status_frame(2048, 1.0f, 2.0f, 0);
    bytes.insert(bytes.end(), frame.begin(), frame.end());
    StatusReadings out{};
    ASSERT_TRUE(parse(bytes, &out));
    EXPECT_EQ(out.raw_light, 2048);
    EXPECT_EQ(out.distance2, 2.0f);
}

TEST(StatusReplyParse, IncompleteRepliesChangeNothing) {
    const StatusReadings before{7, 8.0f, 9.0f, 1};
    StatusReadings out = before;
    std::vector<uint8_t> frame = status_frame(100, 1.0f, 2.0f, 0);
    EXPECT_FALSE(parse(std::vector<uint8_t>(frame.begin(), frame.begin() + 16), &out)); // < 17
    frame[2] = 5; // a length byte too small to tell that fields are missing
    EXPECT_FALSE(parse(std::vector<uint8_t>(frame.begin(), frame.begin() + 14), &out));
    EXPECT_FALSE(parse(std::vector<uint8_t>(frame.begin(), frame.begin() + 6), &out));
    EXPECT_FALSE(parse(std::vector<uint8_t>(30, 0), &out)); // zeros only
    EXPECT_FALSE(parse({}, &out));
    EXPECT_FALSE(parse({0, 0, 0x02}, &out)); // no length byte received at all
    EXPECT_EQ(out.raw_light, before.raw_light);
    EXPECT_EQ(out.distance1, before.distance1);
    EXPECT_EQ(out.fault_bits, before.fault_bits);
    // With the fault bits, the last field, in place the reply counts.
    EXPECT_TRUE(parse(std::vector<uint8_t>(frame.begin(), frame.begin() + 15), &out));
    EXPECT_EQ(out.raw_light, 100);
}

TEST(StatusReadingTexts, Illuminance) {
    EXPECT_EQ(illuminance_of(0), u"100.0");
    EXPECT_EQ(illuminance_of(2048), u"50.0");
    EXPECT_EQ(illuminance_of(4096), u"0.0");
    EXPECT_EQ(illuminance_of(4095), u"0.0");
    EXPECT_EQ(illuminance_of(5120), u"-25.0");
}

TEST(StatusReadingTexts, Distances) {
    EXPECT_EQ(distance_of(12.5f), u"13");
    EXPECT_EQ(distance_of(12.4f), u"12");
    EXPECT_EQ(distance_of(-0.7f), u"0");
    EXPECT_EQ(distance_of(-1.7f), u"-1");
    EXPECT_EQ(distance_of(400.0f), u"400");
}

TEST(StatusReadingTexts, FailedSensorsAndNonReadings) {
    Texts both = texts_of(2048, 10.0f, 20.0f, 3);
    EXPECT_EQ(std::u16string(both.distance1), u"Не работает");
    EXPECT_EQ(std::u16string(both.distance2), u"Не работает");
    EXPECT_EQ(std::u16string(both.illuminance), u"50.0");
    Texts second = texts_of(0, 10.0f, 20.0f, 2);
    EXPECT_EQ(std::u16string(second.distance1), u"10");
    EXPECT_EQ(std::u16string(second.distance2), u"Не работает");
    EXPECT_EQ(distance_of(std::numeric_limits<float>::quiet_NaN()), u"Не работает");
    EXPECT_EQ(distance_of(std::numeric_limits<float>::infinity()), u"Не работает");
    EXPECT_EQ(distance_of(-3e9f), u"Не работает");
    EXPECT_EQ(distance_of(2e9f), u"2000000000");
}
