#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "emulator/emu_answer.h"
#include "emulator/emu_control.h"
#include "emulator/emu_settings.h"
#include "emulator/tests/test_bytes.h"

namespace {

struct ControlTest : ::testing::Test {
    EmuDevice device;
    EmuOutput output;
    EmuLog log;
    EmuControl control;
    std::vector<char> reply = std::vector<char>(EMU_SETTINGS_BYTES * 2 + 4096);
    void SetUp() override {
        emu_device_init(&device, true, 1);
        emu_output_init(&output);
        emu_log_init(&log, nullptr);
        control = {&device, &output, &log, "/dev/pts/9", true, true, 0};
    }
    void TearDown() override { emu_output_clear(&output); }
    std::string run(const std::string& command, EmuAction expected = EMU_ACTION_NONE) {
        std::string line = command + "\n";
        EXPECT_EQ(emu_control_execute(&control, line.data(), reply.data(), reply.size()), expected)
            << command;
        return reply.data();
    }
    std::vector<uint8_t> answer(uint16_t command) {
        EmuRequest r = {};
        r.length = static_cast<uint16_t>(emu_frame_encode(command, nullptr, 0, r.bytes, 16));
        r.command = command;
        r.crc_ok = true;
        uint8_t out[EMU_ANSWER_MAX];
        size_t n = emu_device_answer(&device, &r, 0, out, sizeof out);
        return std::vector<uint8_t>(out, out + n);
    }
};

TEST_F(ControlTest, ReadingsAndVersionChangeTheAnswers) {
    EXPECT_EQ(run("set light 4096"), "ok light 4096");
    EXPECT_EQ(run("set distance 1 12.5"), "ok distance 1 12.50");
    EXPECT_EQ(run("set distance 2 -0.7"), "ok distance 2 -0.70");
    EXPECT_EQ(run("set faults 2"), "ok faults 2");
    auto s = answer(EMU_CMD_GET_STATUS);
    ASSERT_EQ(s.size(), 17u);
    EXPECT_EQ(hex_text(s.data() + 4, 11), "001000004841333333bf02");
    EXPECT_EQ(run("set version 5.001 beta"), "ok version 5.001 beta");
    auto id = answer(EMU_CMD_IDENTIFY);
    EXPECT_EQ(std::string(id.begin() + 4, id.end() - 2), "VORK, kavren board v5.001 beta");
    EXPECT_EQ(run("set light auto"), "ok light auto");
    EXPECT_FALSE(device.sensors.light_pinned);
}

TEST_F(ControlTest, RefusesMalformedCommandsWithAnError) {
    const char* bad[] = {"",
                         "frobnicate",
                         "set light 65536",
                         "set light -1",
                         "set light 12x",
                         "set distance 3 10",
                         "set distance 1 nan",
                         "set faults 256",
                         "delay forever",
                         "split 0 10",
                         "split 65 10",
                         "silent maybe",
                         "stray",
                         "stray 0g",
                         "stray 123",
                         "raw status",
                         "raw bogus 01",
                         "raw 12345 01",
                         "truncate status",
                         "ident-length 70000",
                         "last-request identify",
                         "set settings 00 01",
                         "junk 0",
                         "get status"};
    for (const char* b : bad) {
        EXPECT_EQ(run(b).rfind("error", 0), 0u) << "'" << b << "' gave: " << reply.data();
    }
    EXPECT_EQ(device.sensors.light, EMU_STATIC_LIGHT) << "failed commands change nothing";
    EXPECT_EQ(device.faults.split_pieces, 1u);
}

TEST_F(ControlTest, SettingsRoundTripThroughHex) {
    std::string factory = run("get settings");
    ASSERT_EQ(factory.size(), 3 + 2 * EMU_SETTINGS_BYTES);
    std::string changed = factory.substr(3);
    changed.replace(0, 4, "3412"); // Sensor1Min = 0x1234, inner CRC now wrong
    EXPECT_EQ(run("set settings " + changed), "ok settings stored, crc bad");
    EXPECT_TRUE(device.settings_changed);
    EXPECT_EQ(run("get settings"), "ok " + changed);
    auto read = answer(EMU_CMD_READ_SETTINGS);
    EXPECT_EQ(hex_text(read.data() + 4, 2), "3412") << "a read sends what was stored";
    EXPECT_EQ(run("defaults"), "ok factory settings stored");
    EXPECT_EQ(run("get settings"), factory);
}

TEST_F(ControlTest, FaultCommandsArmTheFaults) {
    EXPECT_EQ(run("silent on"), "ok silent on");
    EXPECT_TRUE(device.faults.silent);
    EXPECT_EQ(run("delay 150"), "ok delay 150");
    EXPECT_EQ(run("stray 00 00 ff"), "ok stray 3 bytes before the next answer");
    EXPECT_EQ(device.faults.stray_once_length, 3u);
    EXPECT_EQ(run("stray-always on"), "ok stray-always on, 1 bytes");
    EXPECT_EQ(device.faults.stray_always_bytes[0], 0x00);
    EXPECT_EQ(run("split 4 30"), "ok split 4 30");
    EXPECT_EQ(run("ident-length 2000"), "ok ident-length 2000");
    EXPECT_EQ(run("truncate 3 300"), "ok truncate 0x0003 300");
    EXPECT_EQ(run("raw identify 01 02 0304"), "ok raw answer of 4 bytes for the next 0x0001");
    EXPECT_EQ(answer(EMU_CMD_IDENTIFY).size(), 4u);
    EXPECT_EQ(answer(EMU_CMD_READ_SETTINGS).size(), 300u);
    EXPECT_EQ(run("truncate read off"), "ok truncate 0x0003 off");
    EXPECT_EQ(answer(EMU_CMD_READ_SETTINGS).size(), 649u);
    const std::string before = run("get settings");
    EXPECT_EQ(run("refuse-writes on"), "ok refuse-writes on");
    uint8_t changed[EMU_SETTINGS_BYTES];
    emu_settings_factory(changed);
    changed[0] = 0x42;
    emu_settings_seal(changed);
    EmuRequest w = {};
    w.length = static_cast<uint16_t>(emu_frame_encode(EMU_CMD_WRITE_SETTINGS, changed,
                                                      EMU_SETTINGS_BYTES, w.bytes, sizeof w.bytes));
    w.command = EMU_CMD_WRITE_SETTINGS;
    w.crc_ok = true;
    uint8_t out[EMU_ANSWER_MAX];
    ASSERT_EQ(emu_device_answer(&device, &w, 0, out, sizeof out), 7u);
    EXPECT_EQ(out[4], EMU_WRITE_REFUSED);
    EXPECT_EQ(run("get settings"), before) << "a refused write keeps the settings";
    EXPECT_EQ(run("reset-faults"), "ok faults reset");
    EXPECT_FALSE(device.faults.silent);
    EXPECT_FALSE(device.faults.refuse_writes);
    EXPECT_EQ(device.faults.delay_ms, 0u);
    EXPECT_EQ(device.faults.ident_length, -1);
}

TEST_F(ControlTest, JunkGoesOutOnlyOnAnOpenPort) {
    EXPECT_EQ(run("junk 3000000 00"), "ok junk 3000000");
    EXPECT_EQ(output.queued_bytes, 3000000u);
    control.port_open = false;
    EXPECT_EQ(run("junk 10").rfind("error", 0), 0u);
    EXPECT_EQ(output.queued_bytes, 3000000u);
}

TEST_F(ControlTest, ReportsRequestsLogAndLineActions) {
    answer(EMU_CMD_GET_STATUS);
    EXPECT_EQ(run("requests"), "ok identify=0 status=1 read=0 write=0 other=0 bad-crc=0");
    EXPECT_EQ(run("last-request 0x0002"), "ok 020006000ec3");
    EXPECT_EQ(run("clear-requests"), "ok requests cleared");
    EXPECT_EQ(run("requests"), "ok identify=0 status=0 read=0 write=0 other=0 bad-crc=0");
    emu_log_event(&log, "first");
    emu_log_event(&log, "second");
    std::string l = run("log");
    EXPECT_EQ(l.rfind("ok 2 ", 0), 0u);
    EXPECT_NE(l.find(" first | "), std::string::npos);
    EXPECT_EQ(run("clear-log"), "ok log cleared");
    EXPECT_EQ(run("log"), "ok 0 ");
    EXPECT_EQ(run("status").rfind("ok plugged=yes port=open pty=/dev/pts/9 light=2048 ", 0), 0u);
    run("unplug", EMU_ACTION_UNPLUG);
    run("plug", EMU_ACTION_PLUG);
    run("quit", EMU_ACTION_QUIT);
}

} // namespace
