#include <gtest/gtest.h>

#include <vector>

#include "link/crc16.h"
#include "link/frame.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes empty_request(int32_t command) {
    Bytes tx(16, 0xEE);
    tx.resize(frame_build(tx.data(), tx.size(), command, 0));
    return tx;
}

// A receive buffer of exactly `cap` bytes with its transaction state, as the worker keeps them.
struct Rx {
    Bytes buf;
    uint32_t count = 0;
    uint32_t start = 0;
    explicit Rx(size_t cap) : buf(cap, 0) {}
    size_t add(const Bytes& bytes) {
        return frame_receive_append(buf.data(), buf.size(), &count, &start, bytes.data(),
                                    bytes.size());
    }
};

Bytes settings_reply(size_t stray) {
    Bytes frame(WIRE_IMAGE_BYTES + LINK_FRAME_OVERHEAD, 0x11);
    frame_build(frame.data(), frame.size(), CMD_READ_SETTINGS, WIRE_IMAGE_BYTES);
    frame.insert(frame.begin(), stray, 0x00);
    return frame;
}

} // namespace

TEST(FrameBuild, EmptyRequestsAreTheKnownSixBytes) {
    EXPECT_EQ(empty_request(CMD_IDENTIFY), (Bytes{1, 0, 6, 0, 0xD2, 0x58}));
    EXPECT_EQ(empty_request(CMD_GET_STATUS), (Bytes{2, 0, 6, 0, 0x0E, 0xC3}));
    EXPECT_EQ(empty_request(CMD_READ_SETTINGS), (Bytes{3, 0, 6, 0, 0xBA, 0xB5}));
    EXPECT_EQ(empty_request(0x70001), empty_request(CMD_IDENTIFY)); // low 16 bits only
}

TEST(FrameBuild, WriteSettingsFrameCoversThePayload) {
    Bytes tx(700, 0);
    for (size_t i = 0; i < WIRE_IMAGE_BYTES; ++i) {
        tx[4 + i] = static_cast<uint8_t>(i * 7);
    }
    ASSERT_EQ(frame_build(tx.data(), tx.size(), CMD_WRITE_SETTINGS, WIRE_IMAGE_BYTES), 649u);
    EXPECT_EQ(Bytes(tx.begin(), tx.begin() + 4), (Bytes{0x03, 0x01, 0x89, 0x02}));
    uint16_t crc = link_crc16(tx.data(), 647);
    EXPECT_EQ(tx[647] | tx[648] << 8, crc);
    EXPECT_EQ(tx[649], 0); // nothing written past the frame
}

TEST(FrameBuild, RefusesWhatCannotBeFramed) {
    Bytes tx(8, 0xEE);
    EXPECT_EQ(frame_build(tx.data(), 5, CMD_IDENTIFY, 0), 0u);  // too small for the frame
    EXPECT_EQ(frame_build(tx.data(), 8, CMD_IDENTIFY, 3), 0u);  // payload does not fit
    EXPECT_EQ(frame_build(tx.data(), 8, CMD_IDENTIFY, -1), 0u); // no such payload
    EXPECT_EQ(tx, Bytes(8, 0xEE));
    Bytes big(70000, 0);
    EXPECT_EQ(frame_build(big.data(), big.size(), CMD_IDENTIFY, 0xFFFA), 0u); // length overflows
    EXPECT_EQ(frame_build(big.data(), big.size(), CMD_IDENTIFY, 0xFFF9), 0xFFFFu);
}

TEST(FrameReceive, RealignsOverOneStrayByte) {
    Rx whole(4096);
    EXPECT_EQ(whole.add(settings_reply(0)), 649u);
    EXPECT_EQ(whole.start, 0u);

    Rx stray(4096);
    stray.add(settings_reply(1)); // 0x8900 at offset 2 exceeds the 650 bytes
    EXPECT_EQ(stray.count, 650u);
    EXPECT_EQ(stray.start, 1u);
    size_t offset = 0;
    EXPECT_EQ(frame_payload_received(stray.buf.size(), stray.count, stray.start, &offset), 645u);
    EXPECT_EQ(offset, 5u);
}

TEST(FrameReceive, ShortAndPartialReplies) {
    Rx rx(64);
    rx.add({0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(rx.start, 0u); // 4 bytes or fewer never realign
    rx.add({0xFF});
    EXPECT_EQ(rx.start, 1u);

    Rx partial(4096);
    Bytes reply = settings_reply(0);
    partial.add(Bytes(reply.begin(), reply.begin() + 300));
    EXPECT_EQ(partial.start, 1u); // 649 exceeds 300: the start moves once
    EXPECT_EQ(partial.add({}), 0u);
    EXPECT_EQ(partial.start, 1u);
}

TEST(FrameReceive, NeverReadsPastTheReceivedBytes) {
    // Each 0xFF byte realigns, and the length field read is always the last two bytes
    // received: the buffer ends right after them.
    Rx rx(12);
    for (uint32_t i = 1; i <= 12; ++i) {
        rx.add({0xFF});
        EXPECT_EQ(rx.start, i > 4 ? i - 4 : 0u) << "after " << i << " bytes";
    }
}

TEST(FrameReceive, OverflowOfRxDropsTheExcess) {
    Rx rx(8);
    EXPECT_EQ(rx.add({1, 2, 3, 4, 5, 6}), 6u);
    EXPECT_EQ(rx.add({7, 8, 9, 10}), 2u);
    EXPECT_EQ(rx.start, 2u);
    EXPECT_EQ(rx.add({11}), 0u);
    EXPECT_EQ(rx.count, 8u);
    EXPECT_EQ(rx.start, 2u); // a dropped read does not realign
    EXPECT_EQ(rx.buf, (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
    size_t offset = 0;
    EXPECT_EQ(frame_payload_received(rx.buf.size(), rx.count, 7, &offset), 0u);
}
