#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "emulator/emu_answer.h"
#include "emulator/emu_device.h"
#include "emulator/emu_settings.h"
#include "emulator/tests/test_bytes.h"
#include "link/crc16.h"

namespace {

EmuRequest request_of(uint16_t command, const uint8_t* payload = nullptr, size_t n = 0) {
    EmuRequest r = {};
    size_t length = emu_frame_encode(command, payload, n, r.bytes, sizeof r.bytes);
    r.command = command;
    r.length = static_cast<uint16_t>(length);
    r.crc_ok = true;
    return r;
}

struct DeviceTest : ::testing::Test {
    EmuDevice device;
    uint8_t out[EMU_ANSWER_MAX];
    void SetUp() override { emu_device_init(&device, true, 1); }
    std::vector<uint8_t> ask(const EmuRequest& r) {
        size_t n = emu_device_answer(&device, &r, 0, out, sizeof out);
        return std::vector<uint8_t>(out, out + n);
    }
    std::vector<uint8_t> ask(uint16_t command) { return ask(request_of(command)); }
};

bool frame_crc_ok(const std::vector<uint8_t>& f) {
    size_t n = f.size();
    return n >= 6 && link_crc16(f.data(), static_cast<uint16_t>(n - 2)) ==
                         static_cast<uint16_t>(f[n - 2] | f[n - 1] << 8);
}

TEST_F(DeviceTest, IdentificationCarriesTheStringRightAfterTheLengthField) {
    auto a = ask(EMU_CMD_IDENTIFY);
    std::string text = "VORK, kavren board v5.000";
    ASSERT_EQ(a.size(), text.size() + 6);
    EXPECT_EQ(hex_text(a.data(), 4), "01001f00");
    EXPECT_EQ(std::string(a.begin() + 4, a.end() - 2), text);
    EXPECT_TRUE(frame_crc_ok(a));

    ASSERT_EQ(emu_device_set_version(&device, "4.9999"), 0);
    a = ask(EMU_CMD_IDENTIFY);
    EXPECT_EQ(std::string(a.begin() + 4, a.end() - 2), "VORK, kavren board v4.9999");
    EXPECT_EQ(a[2], a.size());
    EXPECT_EQ(emu_device_set_version(&device, std::string(EMU_VERSION_MAX + 1, '9').c_str()), -1);
}

TEST_F(DeviceTest, IdentificationLengthFieldCanBeChosen) {
    device.faults.ident_length = 2000;
    auto a = ask(EMU_CMD_IDENTIFY);
    EXPECT_EQ(hex_text(a.data(), 4), "0100d007");
    EXPECT_EQ(a.size(), 31u) << "the text itself is unchanged";
    EXPECT_TRUE(frame_crc_ok(a)) << "the CRC covers the bytes as sent";
}

TEST_F(DeviceTest, StatusReplyLayout) {
    device.sensors.light = 0x0ABC;
    device.sensors.distance[0] = 12.5f;
    device.sensors.distance[1] = -0.75f;
    device.sensors.fault_bits = 3;
    auto a = ask(EMU_CMD_GET_STATUS);
    ASSERT_EQ(a.size(), 17u);
    // command, length 17, light, 12.5f, -0.75f, faults, CRC
    EXPECT_EQ(hex_text(a.data(), 15), "02001100bc0a00004841000040bf03");
    EXPECT_TRUE(frame_crc_ok(a));
}

TEST_F(DeviceTest, FactorySettingsPayload) {
    auto a = ask(EMU_CMD_READ_SETTINGS);
    ASSERT_EQ(a.size(), 649u);
    EXPECT_EQ(hex_text(a.data(), 4), "03008902");
    EXPECT_TRUE(frame_crc_ok(a));
    const uint8_t* p = a.data() + 4;
    // Sensor 1 0..100, sensor 2 0..100, threshold 50 % as raw 2048, off timer 180 s, light on.
    EXPECT_EQ(hex_text(p, 13), "00006400000064000008b40001");
    // Channel 1: every time 1 ms, levels 0.1 / 100.0 / 100.0 / 0.1, standby level 0.1.
    EXPECT_EQ(hex_text(p + 13, 26), "010000000100e8030100000001000000e8030100010000000100");
    // Channel 2: 50 / 250 ms steps, standby level 0.
    EXPECT_EQ(hex_text(p + 39, 26), "320000000100e803fa00000032000000e8030100fa0000000000");
    // Channel 24: 1150 ms delays, 5750 ms ramps.
    EXPECT_EQ(hex_text(p + 13 + 23 * 26, 26),
              "7e0400000100e803761600007e040000e8030100761600000000");
    // Standby on for the odd channels.
    EXPECT_EQ(hex_text(p + 637, 4), "55555500");
    EXPECT_TRUE(emu_settings_crc_ok(p));
}

TEST_F(DeviceTest, WriteStoresAWholePayloadWithItsCrcAndRefusesOthers) {
    uint8_t payload[EMU_SETTINGS_BYTES];
    for (size_t i = 0; i < sizeof payload; ++i) {
        payload[i] = static_cast<uint8_t>(i * 7);
    }
    emu_settings_seal(payload);
    auto a = ask(request_of(EMU_CMD_WRITE_SETTINGS, payload, sizeof payload));
    EXPECT_EQ(hex_text(a.data(), 5), "0301070000") << "stored";
    EXPECT_TRUE(frame_crc_ok(a));
    EXPECT_TRUE(device.settings_changed);
    EXPECT_EQ(0, memcmp(device.settings, payload, sizeof payload));
    auto r = ask(EMU_CMD_READ_SETTINGS);
    EXPECT_EQ(0, memcmp(r.data() + 4, payload, sizeof payload)) << "read gives back the write";

    device.settings_changed = false;
    uint8_t damaged[EMU_SETTINGS_BYTES];
    memcpy(damaged, payload, sizeof damaged);
    damaged[100] ^= 0x40;
    a = ask(request_of(EMU_CMD_WRITE_SETTINGS, damaged, sizeof damaged));
    EXPECT_EQ(hex_text(a.data(), 5), "0301070001") << "refused";
    a = ask(request_of(EMU_CMD_WRITE_SETTINGS, payload, 100));
    EXPECT_EQ(hex_text(a.data(), 5), "0301070001") << "short payload refused";
    EXPECT_FALSE(device.settings_changed);
    EXPECT_EQ(0, memcmp(device.settings, payload, sizeof payload)) << "store unchanged";
    EXPECT_EQ(device.counters.write, 3u);
}

TEST_F(DeviceTest, RawAnswerReplacesOnlyTheNextAnswerToItsCommand) {
    uint8_t raw[] = {0xDE, 0xAD, 0xBE, 0xEF};
    ASSERT_EQ(emu_faults_arm_raw(&device.faults, EMU_CMD_GET_STATUS, raw, sizeof raw), 0);
    EXPECT_EQ(ask(EMU_CMD_IDENTIFY).size(), 31u) << "other commands answer normally";
    auto a = ask(EMU_CMD_GET_STATUS);
    EXPECT_EQ(hex_text(a.data(), a.size()), "deadbeef");
    EXPECT_EQ(ask(EMU_CMD_GET_STATUS).size(), 17u) << "once only";
}

TEST_F(DeviceTest, TruncationCutsAnswersToOneCommandUntilLifted) {
    ASSERT_EQ(emu_faults_set_truncation(&device.faults, EMU_CMD_READ_SETTINGS, 300), 0);
    ASSERT_EQ(emu_faults_set_truncation(&device.faults, EMU_CMD_GET_STATUS, 5), 0);
    auto settings = ask(EMU_CMD_READ_SETTINGS);
    EXPECT_EQ(settings.size(), 300u);
    EXPECT_EQ(hex_text(settings.data(), 4), "03008902") << "the length field still says 649";
    EXPECT_EQ(ask(EMU_CMD_GET_STATUS).size(), 5u);
    EXPECT_EQ(ask(EMU_CMD_GET_STATUS).size(), 5u);
    EXPECT_EQ(ask(EMU_CMD_IDENTIFY).size(), 31u);
    emu_faults_set_truncation(&device.faults, EMU_CMD_GET_STATUS, -1);
    EXPECT_EQ(ask(EMU_CMD_GET_STATUS).size(), 17u);
    EXPECT_EQ(ask(EMU_CMD_READ_SETTINGS).size(), 300u);
}

TEST_F(DeviceTest, CountsAndRemembersRequests) {
    ask(EMU_CMD_IDENTIFY);
    ask(EMU_CMD_GET_STATUS);
    ask(EMU_CMD_GET_STATUS);
    EXPECT_TRUE(ask(0x0042).empty()) << "an unknown command gets no answer";
    EmuRequest bad = request_of(EMU_CMD_READ_SETTINGS);
    bad.bytes[4] ^= 1;
    bad.crc_ok = false;
    emu_device_note_bad_crc(&device, &bad);
    EXPECT_EQ(device.counters.identify, 1u);
    EXPECT_EQ(device.counters.status, 2u);
    EXPECT_EQ(device.counters.other, 1u);
    EXPECT_EQ(device.counters.bad_crc, 1u);
    EXPECT_EQ(device.counters.read, 0u);
    const EmuLastRequest* last = emu_device_last_request(&device, EMU_CMD_READ_SETTINGS);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(hex_text(last->bytes, last->length), "03000600bbb5");
    EXPECT_EQ(emu_device_last_request(&device, EMU_CMD_WRITE_SETTINGS), nullptr);
    // More commands than slots: the oldest is forgotten, the newest kept.
    for (uint16_t c = 0x10; c < 0x10 + EMU_LAST_REQUESTS; ++c) {
        ask(c);
    }
    EXPECT_EQ(emu_device_last_request(&device, EMU_CMD_IDENTIFY), nullptr);
    EXPECT_NE(emu_device_last_request(&device, 0x10 + EMU_LAST_REQUESTS - 1), nullptr);
}

} // namespace
