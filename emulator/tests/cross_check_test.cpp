// The program's own readers and packer against the emulator's answers and encoder: two
// implementations written apart must agree byte for byte.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "emulator/emu_answer.h"
#include "emulator/emu_device.h"
#include "emulator/emu_settings.h"
#include "emulator/tests/test_bytes.h"
#include "link/ident_answer.h"
#include "link/status_reply.h"
#include "link/wire_image.h"

namespace {

TEST(CrossCheck, ProgramReadsTheFactorySettingsTheEmulatorSends) {
    uint8_t payload[EMU_SETTINGS_BYTES];
    emu_settings_factory(payload);
    ASSERT_TRUE(wire_image_valid(payload, sizeof payload));
    float expected[SETTINGS_COUNT];
    emu_settings_factory_table(expected);
    float table[SETTINGS_COUNT] = {};
    table[POS_REPEAT_TIMER] = 7.0f;
    wire_image_unpack(payload, table);
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        if (p == POS_REPEAT_TIMER) {
            EXPECT_EQ(table[p], 7.0f) << "not carried";
            continue;
        }
        EXPECT_EQ(table[p], expected[p]) << "position " << p;
    }
}

TEST(CrossCheck, BothEncodersPackEveryTableAlike) {
    const float tricky[] = {0.0f,  1.0f,     2.5f,     2.6f,    12.55f,        0.05f,
                            -2.0f, 65535.4f, 65536.0f, 1e12f,   -1e20f,        NAN,
                            30.0f, 100.0f,   0.1f,     4.9999f, 2147483648.0f, 0.5f};
    constexpr size_t K = sizeof tricky / sizeof tricky[0];
    for (size_t shift = 0; shift < K; ++shift) {
        float table[SETTINGS_COUNT];
        for (int p = 0; p < SETTINGS_COUNT; ++p) {
            table[p] = tricky[(p * 7 + shift) % K];
        }
        uint8_t ours[EMU_SETTINGS_BYTES];
        uint8_t theirs[WIRE_IMAGE_BYTES];
        emu_settings_encode(table, ours);
        wire_image_pack(table, theirs);
        ASSERT_EQ(hex_text(ours, sizeof ours), hex_text(theirs, sizeof theirs))
            << "shift " << shift;
    }
}

TEST(CrossCheck, ProgramIdentifiesTheEmulatorAndReadsItsRevision) {
    const struct {
        const char* version;
        int32_t revision;
    } cases[] = {{"5", 5000},     {"5.000", 5000},  {"5.001", 5000},
                 {"5.002", 5001}, {"4.9999", 4999}, {"", 0}};
    for (const auto& c : cases) {
        uint8_t frame[EMU_ANSWER_MAX];
        size_t n = emu_answer_identify(c.version, -1, frame, sizeof frame);
        std::vector<uint8_t> buf(8192);
        memcpy(buf.data(), frame, n);
        IdentAnswer answer;
        ASSERT_TRUE(ident_parse(buf.data(), buf.size(), n, &answer)) << c.version;
        EXPECT_EQ(answer.board_revision, c.revision) << c.version;
        EXPECT_EQ(std::string(answer.text), std::string("VORK, kavren board v") + c.version);
    }
}

TEST(CrossCheck, ProgramReadsTheStatusTheEmulatorSends) {
    EmuReadings r = {2048, {12.5f, 399.9f}, 1};
    uint8_t frame[64] = {0, 0, 0}; // three stray zero bytes before the reply
    size_t n = emu_answer_status(&r, frame + 3, sizeof frame - 3);
    StatusReadings got;
    ASSERT_TRUE(status_reply_parse(frame, n + 3, &got));
    EXPECT_EQ(got.raw_light, 2048);
    EXPECT_EQ(got.distance1, 12.5f);
    EXPECT_EQ(got.distance2, 399.9f);
    EXPECT_EQ(got.fault_bits, 1);
    EXPECT_FALSE(status_reply_parse(frame, n + 3 - 1, &got)) << "one byte short of its length";
}

TEST(CrossCheck, EmulatorStoresWhatTheProgramPacks) {
    float table[SETTINGS_COUNT];
    emu_settings_factory_table(table);
    table[POS_LIGHT_THRESHOLD] = 30.0f;
    table[channel_position(COL_ON_DELAY, 24)] = 60000.0f;
    EmuRequest request = {};
    uint8_t payload[WIRE_IMAGE_BYTES];
    wire_image_pack(table, payload);
    request.length = static_cast<uint16_t>(emu_frame_encode(
        EMU_CMD_WRITE_SETTINGS, payload, sizeof payload, request.bytes, sizeof request.bytes));
    request.command = EMU_CMD_WRITE_SETTINGS;
    request.crc_ok = true;
    static EmuDevice device;
    emu_device_init(&device, true, 1);
    uint8_t answer[EMU_ANSWER_MAX];
    ASSERT_EQ(emu_device_answer(&device, &request, 0, answer, sizeof answer), 7u);
    EXPECT_EQ(answer[4], EMU_WRITE_STORED);
    EXPECT_EQ(hex_text(device.settings, EMU_SETTINGS_BYTES), hex_text(payload, sizeof payload));
    EXPECT_EQ(hex_text(device.settings + 8, 2), "330b") << "30 % is raw 2867";
}

} // namespace
