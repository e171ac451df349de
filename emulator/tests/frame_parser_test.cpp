#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "emulator/emu_frame.h"
#include "emulator/tests/test_bytes.h"
#include "link/crc16.h"

namespace {

const char* IDENTIFY = "01 00 06 00 D2 58";
const char* STATUS = "02 00 06 00 0E C3";
const char* READ = "03 00 06 00 BA B5";

struct Parsed {
    EmuParseResult result;
    uint16_t command;
    uint16_t length;
};

// Feeds the bytes and collects every frame the parser gives back.
std::vector<Parsed> feed(EmuParser* p, const std::vector<uint8_t>& bytes, int64_t now) {
    std::vector<Parsed> out;
    size_t at = 0;
    EmuRequest r;
    for (;;) {
        at += emu_parser_feed(p, bytes.data() + at, bytes.size() - at, now);
        EmuParseResult k;
        while ((k = emu_parser_next(p, now, &r)) != EMU_PARSE_NONE) {
            out.push_back({k, r.command, r.length});
        }
        if (at == bytes.size()) {
            return out;
        }
    }
}

std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

std::vector<uint8_t> write_request() {
    std::vector<uint8_t> payload(EMU_SETTINGS_BYTES, 0x5A);
    std::vector<uint8_t> frame(EMU_REQUEST_MAX);
    emu_frame_encode(EMU_CMD_WRITE_SETTINGS, payload.data(), payload.size(), frame.data(),
                     frame.size());
    return frame;
}

TEST(EmuFrame, EncodesTheThreeEmptyRequestsByteForByte) {
    uint8_t out[16];
    ASSERT_EQ(emu_frame_encode(EMU_CMD_IDENTIFY, nullptr, 0, out, sizeof out), 6u);
    EXPECT_EQ(hex_text(out, 6), "01000600d258");
    emu_frame_encode(EMU_CMD_GET_STATUS, nullptr, 0, out, sizeof out);
    EXPECT_EQ(hex_text(out, 6), "020006000ec3");
    emu_frame_encode(EMU_CMD_READ_SETTINGS, nullptr, 0, out, sizeof out);
    EXPECT_EQ(hex_text(out, 6), "03000600bab5");
    EXPECT_EQ(emu_frame_encode(EMU_CMD_IDENTIFY, nullptr, 0, out, 5), 0u) << "does not fit";
}

TEST(EmuParser, TakesEachRequestAndBackToBackRequests) {
    EmuParser p;
    emu_parser_reset(&p);
    auto got = feed(
        &p, concat({hex_bytes(IDENTIFY), hex_bytes(STATUS), hex_bytes(READ), write_request()}), 0);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].command, EMU_CMD_IDENTIFY);
    EXPECT_EQ(got[1].command, EMU_CMD_GET_STATUS);
    EXPECT_EQ(got[2].command, EMU_CMD_READ_SETTINGS);
    EXPECT_EQ(got[3].command, EMU_CMD_WRITE_SETTINGS);
    EXPECT_EQ(got[3].length, 649);
    for (const auto& g : got) {
        EXPECT_EQ(g.result, EMU_PARSE_REQUEST);
    }
    EXPECT_EQ(p.count, 0u);
    EXPECT_EQ(emu_parser_deadline(&p), -1);
}

TEST(EmuParser, WaitsForARequestThatArrivesInPieces) {
    EmuParser p;
    emu_parser_reset(&p);
    auto id = hex_bytes(IDENTIFY);
    for (size_t i = 0; i + 1 < id.size(); ++i) {
        EXPECT_TRUE(feed(&p, {id[i]}, 10).empty()) << "byte " << i;
    }
    auto got = feed(&p, {id.back()}, 20);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].command, EMU_CMD_IDENTIFY);

    auto w = write_request();
    EXPECT_TRUE(feed(&p, std::vector<uint8_t>(w.begin(), w.begin() + 300), 30).empty());
    got = feed(&p, std::vector<uint8_t>(w.begin() + 300, w.end()), 40);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].command, EMU_CMD_WRITE_SETTINGS);
}

TEST(EmuParser, SkipsGarbageBeforeARequest) {
    const char* garbage[] = {
        "FF",             // one stray byte
        "00 00 00 00 00", // zeros: length 0 is no frame
        "13 37 FF FF",    // length beyond any request
        "00 00 00 02",    // a plausible header announcing 512 bytes that never come
        "01 00",          // half a request
    };
    for (const char* g : garbage) {
        EmuParser p;
        emu_parser_reset(&p);
        auto got = feed(&p, concat({hex_bytes(g), hex_bytes(STATUS)}), 0);
        ASSERT_EQ(got.size(), 1u) << g;
        EXPECT_EQ(got[0].result, EMU_PARSE_REQUEST) << g;
        EXPECT_EQ(got[0].command, EMU_CMD_GET_STATUS) << g;
    }
}

TEST(EmuParser, ReportsAKnownRequestWithABadCrcAndAnswersTheNext) {
    EmuParser p;
    emu_parser_reset(&p);
    auto bad = hex_bytes(IDENTIFY);
    bad[5] ^= 0x01;
    auto got = feed(&p, concat({bad, hex_bytes(READ)}), 0);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].result, EMU_PARSE_BAD_CRC);
    EXPECT_EQ(got[0].command, EMU_CMD_IDENTIFY);
    EXPECT_EQ(got[1].result, EMU_PARSE_REQUEST);
    EXPECT_EQ(got[1].command, EMU_CMD_READ_SETTINGS);
}

TEST(EmuParser, PassesOnAnUnknownCommandWithAGoodCrc) {
    uint8_t frame[16];
    uint8_t payload[2] = {0xAB, 0xCD};
    size_t n = emu_frame_encode(0x0777, payload, 2, frame, sizeof frame);
    EmuParser p;
    emu_parser_reset(&p);
    auto got = feed(&p, std::vector<uint8_t>(frame, frame + n), 0);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].command, 0x0777);
    EXPECT_EQ(got[0].length, 8);
}

TEST(EmuParser, DropsAFragmentThatStaysIncomplete) {
    EmuParser p;
    emu_parser_reset(&p);
    EXPECT_TRUE(feed(&p, hex_bytes("03 00 06 00 BA"), 100).empty());
    EXPECT_EQ(emu_parser_deadline(&p), 100 + EMU_PARSER_STALE_MS);
    EmuRequest r;
    EXPECT_EQ(emu_parser_next(&p, 100 + EMU_PARSER_STALE_MS - 1, &r), EMU_PARSE_NONE);
    EXPECT_EQ(p.count, 5u) << "still waiting for the last byte";
    EXPECT_EQ(emu_parser_next(&p, 100 + EMU_PARSER_STALE_MS, &r), EMU_PARSE_NONE);
    EXPECT_EQ(p.count, 0u) << "the stale fragment is gone";
    // The late byte alone is no request; the next request is read normally.
    auto got = feed(&p, concat({hex_bytes("B5"), hex_bytes(IDENTIFY)}), 200);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].command, EMU_CMD_IDENTIFY);
}

TEST(EmuParser, NeverStallsOnJunkLargerThanItsBuffer) {
    std::vector<uint8_t> junk(3 * EMU_PARSER_BYTES + 17);
    uint32_t x = 12345;
    for (auto& b : junk) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 24);
    }
    EmuParser p;
    emu_parser_reset(&p);
    auto got = feed(&p, concat({junk, hex_bytes(IDENTIFY)}), 0);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back().command, EMU_CMD_IDENTIFY);
    EXPECT_EQ(got.back().result, EMU_PARSE_REQUEST);
}

} // namespace
