#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "link/ident_answer.h"

namespace {

// An identification answer frame around `text`, as the controller sends it.
std::vector<uint8_t> answer(const std::string& text, size_t stray = 0) {
    std::vector<uint8_t> bytes(stray, 0x55);
    size_t total = text.size() + 6;
    bytes.insert(bytes.end(), {0x01, 0x00, static_cast<uint8_t>(total & 0xFF),
                               static_cast<uint8_t>(total >> 8)});
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.insert(bytes.end(), {0x35, 0x36}); // CRC bytes, here digits on purpose
    return bytes;
}

// Parses `bytes` in a receive buffer of their own size (so the sanitizer sees any overrun).
bool parse(std::vector<uint8_t> bytes, IdentAnswer* out) {
    return ident_parse(bytes.data(), bytes.size(), bytes.size(), out);
}

int32_t revision_for(const std::string& version) {
    IdentAnswer out{};
    EXPECT_TRUE(parse(answer("VORK, kavren board v" + version), &out));
    return out.board_revision;
}

} // namespace

TEST(FindBytes, FirstWholeMatch) {
    const uint8_t data[] = {'a', 0, 'b', 'a', 0, 'b'};
    const uint8_t needle[] = {0, 'b'};
    size_t past = 99;
    ASSERT_TRUE(ident_find_bytes(needle, 2, data, 6, &past));
    EXPECT_EQ(past, 3u);
    EXPECT_FALSE(ident_find_bytes(needle, 2, data, 1, &past)); // would run past the data
    const uint8_t tail[] = {'b', 'x'};
    EXPECT_FALSE(ident_find_bytes(tail, 2, data, 6, &past));
    EXPECT_TRUE(ident_find_bytes(needle, 0, data, 0, &past)); // empty needle
    EXPECT_EQ(past, 0u);
    const uint8_t upper[] = {'A'};
    EXPECT_FALSE(ident_find_bytes(upper, 1, data, 6, &past));
}

TEST(IdentParse, RecognisesTheAnswerAfterStrayBytes) {
    IdentAnswer out{};
    ASSERT_TRUE(parse(answer("VORK, kavren board v5", 3), &out));
    EXPECT_STREQ(out.text, "VORK, kavren board v5"); // the CRC is not part of the text
    EXPECT_EQ(out.board_revision, 5000);
}

TEST(IdentParse, VersionNumbers) {
    EXPECT_EQ(revision_for("5"), 5000);
    EXPECT_EQ(revision_for("5.000"), 5000);
    EXPECT_EQ(revision_for("5.001"), 5000);
    EXPECT_EQ(revision_for("5.002"), 5001);
    EXPECT_EQ(revision_for("4.9999"), 4999);
    EXPECT_EQ(revision_for(" 6.25 build 7"), 6250);
    EXPECT_EQ(revision_for("6.2"), 6199); // 6.2 as a float is 6.1999998
    EXPECT_EQ(revision_for("x"), 0);
    EXPECT_EQ(revision_for("1e30"), 0); // makes no 32-bit revision
    IdentAnswer out{};
    ASSERT_TRUE(parse(answer("VORK, kavren board rev 5"), &out));
    EXPECT_EQ(out.board_revision, 0);
}

TEST(IdentParse, VersionEndsWhereTheCrcOfAFullReadBegins) {
    // "kavren board v5" at the very end: the two bytes after it are taken as the CRC.
    std::string text = "VORK, kavren board v5";
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.insert(bytes.begin(), {0x01, 0x00, 0x1B, 0x00});
    bytes.insert(bytes.end(), {'7', '7'});
    IdentAnswer out{};
    ASSERT_TRUE(parse(bytes, &out));
    EXPECT_EQ(out.board_revision, 5000);
}

TEST(IdentParse, WithoutTheStringNothingIsIdentified) {
    IdentAnswer out{};
    out.board_revision = 77;
    EXPECT_FALSE(parse(answer("VORK, kavren boar"), &out));
    EXPECT_EQ(out.board_revision, 77);
    uint8_t one = 'V';
    EXPECT_FALSE(ident_parse(&one, 1, 1, &out));
    EXPECT_FALSE(ident_parse(&one, 1, 0, &out));
}

TEST(IdentParse, LengthFieldsThatCannotBeUsed) {
    IdentAnswer out{};
    // The string at the very start: no length field before it.
    std::string text = "VORK, kavren board v5 and more";
    ASSERT_TRUE(parse(std::vector<uint8_t>(text.begin(), text.end()), &out));
    EXPECT_STREQ(out.text, text.c_str());
    EXPECT_EQ(out.board_revision, 5000);

    // A length field below 6: the text runs to the end of the data.
    std::vector<uint8_t> bytes = answer("VORK, kavren board v5");
    bytes[2] = 5;
    ASSERT_TRUE(parse(bytes, &out));
    EXPECT_EQ(strlen(out.text), bytes.size() - 4); // the CRC bytes too
}

TEST(IdentParse, TextIsCutToWhatArrivedAndToTheBuffer) {
    IdentAnswer out{};
    std::vector<uint8_t> partial = answer("VORK, kavren board v5 " + std::string(100, 'x'));
    partial.resize(40); // the length field promises far more
    ASSERT_TRUE(parse(partial, &out));
    EXPECT_EQ(strlen(out.text), 36u); // all that arrived from the string on

    std::vector<uint8_t> long_answer = answer("VORK, kavren board v5 " + std::string(3000, 'y'));
    ASSERT_TRUE(ident_parse(long_answer.data(), long_answer.size(), 100000, &out)); // n > cap
    EXPECT_EQ(strlen(out.text), IDENT_TEXT_CAP - 1);
    EXPECT_EQ(out.board_revision, 5000);
}
