#include <gtest/gtest.h>

#include <vector>

#include "link/crc16.h"
#include "link/frame.h"

namespace {

std::vector<uint8_t> empty_request(int32_t command) {
    std::vector<uint8_t> tx(16, 0xEE);
    size_t n = frame_build(tx.data(), tx.size(), command, 0);
    tx.resize(n);
    return tx;
}

// A receive buffer with its transaction state, as the worker keeps them.
struct Rx {
    std::vector<uint8_t> buf;
    uint32_t count = 0;
    uint32_t start = 0;
    explicit Rx(size_t cap) : buf(cap, 0) {}
    size_t add(const std::vector<uint8_t>& bytes) {
        return frame_receive_append(buf.data(), buf.size(), &count, &start, bytes.data(),
                                    bytes.size());
    }
};

std::vector<uint8_t> settings_reply() {
    std::vector<uint8_t> frame(WIRE_IMAGE_BYTES + LINK_FRAME_OVERHEAD, 0x11);
    frame_build(frame.data(), frame.size(), CMD_READ_SETTINGS, WIRE_IMAGE_BYTES);
    return frame;
}

} // namespace

TEST(FrameBuild, EmptyRequestsAreTheKnownSixBytes) {
    EXPECT_EQ(empty_request(CMD_IDENTIFY), (std::vector<uint8_t>{1, 0, 6, 0, 0xD2, 0x58}));
    EXPECT_EQ(empty_request(CMD_GET_STATUS), (std::vector<uint8_t>{2, 0, 6, 0, 0x0E, 0xC3}));
    EXPECT_EQ(empty_request(CMD_READ_SETTINGS), (std::vector<uint8_t>{3, 0, 6, 0, 0xBA, 0xB5}));
}

TEST(FrameBuild, WriteSettingsFrameCoversThePayload) {
    std::vector<uint8_t> tx(1000, 0);
    for (size_t i = 0; i < WIRE_IMAGE_BYTES; ++i) {
        tx[4 + i] = static_cast<uint8_t>(i * 7);
    }
    tx[647] = tx[648] = 0xEE;
    ASSERT_EQ(frame_build(tx.data(), tx.size(), CMD_WRITE_SETTINGS, WIRE_IMAGE_BYTES), 649u);
    EXPECT_EQ(tx[0], 0x03);
    EXPECT_EQ(tx[1], 0x01);
    EXPECT_EQ(tx[2], 0x89);
    EXPECT_EQ(tx[3], 0x02);
    uint16_t crc = link_crc16(tx.data(), 647);
    EXPECT_EQ(tx[647], crc & 0xFF);
    EXPECT_EQ(tx[648], crc >> 8);
    EXPECT_EQ(tx[649], 0); // nothing written past the frame
}

TEST(FrameBuild, OnlyTheLow16BitsOfTheCommandAreSent) {
    std::vector<uint8_t> tx(6, 0);
    frame_build(tx.data(), tx.size(), 0x70001, 0);
    EXPECT_EQ(tx, empty_request(CMD_IDENTIFY));
}

TEST(FrameBuild, RefusesWhatCannotBeFramed) {
    std::vector<uint8_t> tx(8, 0xEE);
    EXPECT_EQ(frame_build(tx.data(), 5, CMD_IDENTIFY, 0), 0u);  // too small for the frame
    EXPECT_EQ(frame_build(tx.data(), 8, CMD_IDENTIFY, 3), 0u);  // payload does not fit
    EXPECT_EQ(frame_build(tx.data(), 8, CMD_IDENTIFY, -1), 0u); // no such payload
    std::vector<uint8_t> big(70000, 0);
    EXPECT_EQ(frame_build(big.data(), big.size(), CMD_IDENTIFY, 0xFFFA), 0u); // length overflows
    EXPECT_EQ(frame_build(big.data(), big.size(), CMD_IDENTIFY, 0xFFF9), 0xFFFFu);
    EXPECT_EQ(tx, std::vector<uint8_t>(8, 0xEE));
}

TEST(FrameReceive, WholeReplyKeepsTheFrameStart) {
    Rx rx(4096);
    EXPECT_EQ(rx.add(settings_reply()), 649u);
    EXPECT_EQ(rx.count, 649u);
    EXPECT_EQ(rx.start, 0u);
}

TEST(FrameReceive, OneStrayByteMovesThePayloadToOffsetFive) {
    Rx rx(4096);
    std::vector<uint8_t> bytes{0};
    std::vector<uint8_t> reply = settings_reply();
    bytes.insert(bytes.end(), reply.begin(), reply.end());
    rx.add(bytes);
    EXPECT_EQ(rx.count, 650u);
    EXPECT_EQ(rx.start, 1u); // 0x8900 at offset 2 exceeds 650
    size_t offset = 0;
    EXPECT_EQ(frame_payload_received(rx.buf.size(), rx.count, rx.start, &offset), 645u);
    EXPECT_EQ(offset, 5u);
}

TEST(FrameReceive, FourBytesOrFewerNeverRealign) {
    Rx rx(64);
    rx.add({0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(rx.start, 0u);
    rx.add({0xFF}); // now five bytes, and 0xFFFF exceeds them
    EXPECT_EQ(rx.start, 1u);
}

TEST(FrameReceive, PartialReplyMovesTheFrameStartOnce) {
    Rx rx(4096);
    std::vector<uint8_t> reply = settings_reply();
    reply.resize(300);
    rx.add(reply);
    EXPECT_EQ(rx.start, 1u);
    EXPECT_EQ(rx.add({}), 0u); // an empty read changes nothing
    EXPECT_EQ(rx.start, 1u);
}

TEST(FrameReceive, ByteByByteTheFrameStartStaysWithinTheReceivedBytes) {
    // Every read of one 0xFF byte realigns; the length field read is always the last two
    // bytes received, never the buffer beyond them (the buffer ends right after them).
    Rx rx(12);
    for (uint32_t i = 1; i <= 12; ++i) {
        rx.add({0xFF});
        EXPECT_EQ(rx.start, i > 4 ? i - 4 : 0u) << "after " << i << " bytes";
    }
}

TEST(FrameReceive, OverflowOfRxDropsTheExcess) {
    Rx rx(8);
    EXPECT_EQ(rx.add({1, 2, 3, 4, 5, 6}), 6u);
    EXPECT_EQ(rx.start, 1u); // 0x0403 at offset 2 exceeds 6
    EXPECT_EQ(rx.add({7, 8, 9, 10}), 2u);
    EXPECT_EQ(rx.count, 8u);
    EXPECT_EQ(rx.start, 2u);
    EXPECT_EQ(rx.add({11}), 0u);
    EXPECT_EQ(rx.count, 8u);
    EXPECT_EQ(rx.start, 2u); // a dropped read does not realign
    EXPECT_EQ(rx.buf, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    size_t offset = 0;
    EXPECT_EQ(frame_payload_received(rx.buf.size(), rx.count, 7, &offset), 0u);
    EXPECT_EQ(offset, 11u);
}
