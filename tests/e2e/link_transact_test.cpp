// The program's transaction against the emulated controller over a real COM port (Wine and the
// pseudo-terminal): COM5 opened as the program opens it, the reply window timed by TIMER_REPLY on
// a window of this thread, link_transact on a second thread while this one dispatches messages,
// as the link worker and the main dialog do. The replies are read by the program's own routines.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "app/app_state.h"
#include "driver.h"
#include "emulator/emu_settings.h"
#include "hex_text.h"
#include "link/frame.h"
#include "link/ident_answer.h"
#include "link/serial.h"
#include "link/status_reply.h"
#include "link/transact.h"
#include "link/wire_image.h"

namespace {

// What the main dialog does with TIMER_REPLY: mark the window elapsed and stop the timer.
LRESULT CALLBACK reply_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_TIMER && wparam == TIMER_REPLY) {
        link_flags_set(LINK_REPLY_ELAPSED);
        KillTimer(window, TIMER_REPLY);
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

void pump_messages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&msg);
    }
}

class LinkTransact : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(emu_ok("reset-faults"));
        memset(&app, 0, sizeof(app));
        WNDCLASSW wc{};
        wc.lpfnWndProc = reply_window_proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"LinkTransactTest";
        RegisterClassW(&wc);
        app.dialog = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     wc.hInstance, nullptr);
        ASSERT_NE(app.dialog, nullptr);
        ASSERT_EQ(serial_open(L"COM5", &app.active_port), 0);
        app.rx = static_cast<uint8_t*>(calloc(LINK_BUFFER_BYTES, 1));
        app.tx = static_cast<uint8_t*>(calloc(LINK_BUFFER_BYTES, 1));
        app.rx_temp = static_cast<uint8_t*>(calloc(LINK_BUFFER_BYTES, 1));
        ASSERT_TRUE(app.rx != nullptr && app.tx != nullptr && app.rx_temp != nullptr);
    }
    void TearDown() override {
        emu_ok("reset-faults");
        if (app.active_port != nullptr) {
            CloseHandle(app.active_port);
        }
        DestroyWindow(app.dialog);
        free(app.rx);
        free(app.tx);
        free(app.rx_temp);
    }

    // One transaction on a second thread while this thread dispatches the timer message.
    int transact(int32_t command, int32_t timeout_ms, int32_t payload_length = 0) {
        app.command = command;
        app.payload_length = payload_length;
        app.reply_timeout = timeout_ms;
        std::atomic<bool> done{false};
        int result = 99;
        std::thread worker([&] {
            result = link_transact();
            done = true;
        });
        while (!done) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            pump_messages();
        }
        worker.join();
        return result;
    }

    // The payload of the reply as the link worker takes it: from frame start + 4.
    const uint8_t* payload(size_t* available) {
        size_t at = 0;
        *available =
            frame_payload_received(LINK_BUFFER_BYTES, app.received_count, app.frame_start, &at);
        return app.rx + at;
    }
};

} // namespace

TEST_F(LinkTransact, RepliesDecodeByTheProgramsOwnRoutines) {
    ASSERT_EQ(transact(CMD_IDENTIFY, 200), 0);
    IdentAnswer ident{};
    ASSERT_TRUE(ident_parse(app.rx, LINK_BUFFER_BYTES, app.received_count, &ident));
    EXPECT_EQ(ident.board_revision, 5000);
    EXPECT_EQ(strncmp(ident.text, "VORK, kavren board v5.000", 25), 0) << ident.text;

    ASSERT_EQ(transact(CMD_GET_STATUS, 100), 0);
    EXPECT_EQ(app.received_count, 17u);
    StatusReadings readings{};
    ASSERT_TRUE(status_reply_parse(app.rx_temp, app.received_count, &readings));
    EXPECT_EQ(readings.raw_light, 2048); // the emulator's fixed readings
    EXPECT_FLOAT_EQ(readings.distance1, 300.0f);
    EXPECT_FLOAT_EQ(readings.distance2, 350.0f);
    EXPECT_EQ(readings.fault_bits, 0);

    // The request the emulator received is the six-byte frame.
    EXPECT_NE(emu("last-request status").find("020006000ec3"), std::string::npos)
        << emu("last-request status");

    ASSERT_EQ(transact(CMD_READ_SETTINGS, 500), 0);
    EXPECT_EQ(app.received_count, 649u);
    EXPECT_EQ(app.frame_start, 0u);
    size_t available = 0;
    const uint8_t* image = payload(&available);
    ASSERT_TRUE(wire_image_valid(image, available));
    float table[SETTINGS_COUNT] = {};
    float factory[SETTINGS_COUNT] = {};
    wire_image_unpack(image, table);
    emu_settings_factory_table(factory);
    factory[POS_REPEAT_TIMER] = 0; // not carried by the payload
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        // The light threshold comes back on the controller's scale, within its rounding.
        EXPECT_NEAR(table[p], factory[p], p == POS_LIGHT_THRESHOLD ? 0.03 : 0.0)
            << "position " << p;
    }
}

TEST_F(LinkTransact, WrittenSettingsReachTheController) {
    float table[SETTINGS_COUNT] = {};
    emu_settings_factory_table(table);
    table[POS_SENSOR1_MAX] = 123;
    table[channel_position(COL_RISE_TIME, 24)] = 4321;
    emu_settings_encode(table, app.tx + LINK_FRAME_PAYLOAD_AT);
    ASSERT_EQ(transact(CMD_WRITE_SETTINGS, 100, static_cast<int32_t>(WIRE_IMAGE_BYTES)), 0);
    const std::string stored = emu("get settings");
    ASSERT_EQ(stored.size(), 3 + 2 * WIRE_IMAGE_BYTES) << stored;
    uint8_t bytes[WIRE_IMAGE_BYTES];
    ASSERT_TRUE(hex_decode(stored.c_str() + 3, bytes, WIRE_IMAGE_BYTES));
    EXPECT_EQ(memcmp(bytes, app.tx + LINK_FRAME_PAYLOAD_AT, WIRE_IMAGE_BYTES), 0);
    emu_ok("defaults");
}

TEST_F(LinkTransact, OneStrayByteBeforeTheReplyMovesTheFrameStart) {
    ASSERT_TRUE(emu_ok("stray 00"));
    ASSERT_EQ(transact(CMD_READ_SETTINGS, 500), 0);
    EXPECT_EQ(app.received_count, 650u);
    EXPECT_EQ(app.frame_start, 1u);
    size_t available = 0;
    const uint8_t* image = payload(&available);
    EXPECT_EQ(image, app.rx + 5);
    EXPECT_TRUE(wire_image_valid(image, available));

    // Zero bytes before a status reply are stepped over by its reader.
    ASSERT_TRUE(emu_ok("stray 000000"));
    ASSERT_EQ(transact(CMD_GET_STATUS, 100), 0);
    StatusReadings readings{};
    ASSERT_TRUE(status_reply_parse(app.rx_temp, app.received_count, &readings));
    EXPECT_EQ(readings.raw_light, 2048);
}

TEST_F(LinkTransact, LateReplyIsLeftToTheNextDrainRead) {
    // Window 100 ms plus a read time-out of 100 ms: a reply 600 ms late misses both.
    ASSERT_TRUE(emu_ok("delay 600"));
    EXPECT_EQ(transact(CMD_GET_STATUS, 100), -1);
    EXPECT_EQ(app.received_count, 0u);
    ASSERT_TRUE(emu_ok("delay 0"));
    // The worker's drain reads take the late bytes in; the next transaction discards them.
    EXPECT_TRUE(wait_until(
        [] {
            link_receive();
            return app.received_count >= 17;
        },
        5000));
    EXPECT_EQ(app.received_count, 17u);
    ASSERT_EQ(transact(CMD_GET_STATUS, 100), 0);
    EXPECT_EQ(app.received_count, 17u);
}

TEST_F(LinkTransact, SilenceGivesNoReply) {
    ASSERT_TRUE(emu_ok("silent on"));
    EXPECT_EQ(transact(CMD_GET_STATUS, 100), -1);
    EXPECT_EQ(transact(CMD_READ_SETTINGS, 500), -1);
    EXPECT_EQ(app.received_count, 0u);
    ASSERT_TRUE(emu_ok("silent off"));
    EXPECT_EQ(transact(CMD_GET_STATUS, 100), 0);
}
