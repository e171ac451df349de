// A faulty or hostile controller on the line: odd identification answers, short and oversized
// replies, junk, split and late answers, stray bytes, and the cable pulled in the middle of a
// settings transfer. After each the program must still run and answer, the form must hold either
// its old values or the complete new ones (and the log must say which), and once the controller
// behaves again the program must find it and read its settings.
#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "driver.h"
#include "emulator/emu_settings.h"
#include "hex_text.h"
#include "log_lines.h"
#include "resources/resource_ids.h"
#include "settings/setting_rows.h"

namespace {

using Form = std::vector<std::wstring>;

// Settings that differ from the factory ones in every control.
std::string distinct_settings_hex() {
    float table[SETTINGS_COUNT];
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        switch (settings_value_kind(p)) {
        case VALUE_FLAG:
            table[p] = static_cast<float>(p % 2);
            break;
        case VALUE_TENTHS:
            table[p] = static_cast<float>(p % 90) + 0.5f;
            break;
        case VALUE_THRESHOLD:
            table[p] = 30.0f;
            break;
        default:
            table[p] = static_cast<float>(7 + 3 * p);
            break;
        }
    }
    uint8_t payload[EMU_SETTINGS_BYTES];
    emu_settings_encode(table, payload);
    return hex_encode(payload, sizeof payload);
}

std::string device_settings() {
    const std::string reply = emu("get settings");
    return reply.rfind("ok ", 0) == 0 ? reply.substr(3) : reply;
}

int count(const wchar_t* line) {
    return app_log_count(line);
}

void expect_alive() {
    EXPECT_TRUE(app_running());
    EXPECT_TRUE(app_responds(2000)) << "the window did not answer within 2 s";
}

// Clicks `button` and waits until one of `lines` appears once more; returns it, or nullptr.
const wchar_t* click_until(int button, std::initializer_list<const wchar_t*> lines,
                           DWORD timeout_ms = 15000) {
    std::vector<int> before;
    for (const wchar_t* line : lines) {
        before.push_back(count(line));
    }
    app_click(button);
    const wchar_t* seen = nullptr;
    wait_until(
        [&] {
            size_t i = 0;
            for (const wchar_t* line : lines) {
                if (count(line) > before[i++]) {
                    seen = line;
                    return true;
                }
            }
            return false;
        },
        timeout_ms);
    return seen;
}

std::string first_difference(const Form& a, const Form& b) {
    for (size_t p = 0; p < a.size() && p < b.size(); ++p) {
        if (a[p] != b[p]) {
            std::string text = "position " + std::to_string(p) + ": ";
            for (wchar_t c : a[p]) {
                text += static_cast<char>(c);
            }
            text += " / ";
            for (wchar_t c : b[p]) {
                text += static_cast<char>(c);
            }
            return text;
        }
    }
    return "sizes differ";
}

// The form before a settings read (the factory defaults) and after a complete one.
struct FormSets {
    Form old_form;
    Form new_form;
};

class HostileDevice : public testing::Test {
  protected:
    void SetUp() override {
        emu("plug");
        ASSERT_TRUE(emu_ok("reset-faults"));
        ASSERT_TRUE(emu_ok("defaults"));
        ASSERT_TRUE(emu_ok("silent off"));
        ASSERT_TRUE(app_start());
        ASSERT_TRUE(wait_until([] { return count(CONNECTED) > 0; }, 15000))
            << testing::PrintToString(app_log());
    }
    void TearDown() override {
        emu("plug");
        emu("reset-faults");
        emu("defaults");
        app_stop();
    }

    // Stores distinct settings in the controller and learns both forms a read can leave.
    FormSets prepare_read() {
        FormSets sets;
        EXPECT_TRUE(emu_ok(("set settings " + distinct_settings_hex()).c_str()));
        EXPECT_EQ(click_until(IDC_DEVICE_READ, {READ_DONE}), READ_DONE);
        sets.new_form = app_form();
        restore_defaults();
        sets.old_form = app_form();
        EXPECT_NE(sets.old_form, sets.new_form);
        return sets;
    }

    void restore_defaults() { EXPECT_EQ(click_until(IDC_LOAD_DEFAULTS, {DEFAULTS}), DEFAULTS); }

    // Reads the settings under whatever fault is set: the form must match what the log says.
    const wchar_t* read_and_check(const FormSets& sets) {
        restore_defaults();
        const wchar_t* line = click_until(IDC_DEVICE_READ, {READ_DONE, READ_FAILED, DISCONNECTED});
        EXPECT_NE(line, nullptr) << "the read said nothing";
        expect_alive();
        const Form form = app_form();
        const Form& expected = line == READ_DONE ? sets.new_form : sets.old_form;
        EXPECT_EQ(form, expected) << first_difference(form, expected);
        return line;
    }

    // With the controller whole again, the program finds it and reads its settings.
    void works_again() {
        emu("plug");
        ASSERT_TRUE(emu_ok("reset-faults"));
        bool read = false;
        for (int attempt = 0; attempt < 4 && !read; ++attempt) {
            if (!wait_until([] { return !app_read_only(IDC_SENSOR1_MIN); }, 20000)) {
                continue;
            }
            read = click_until(IDC_DEVICE_READ, {READ_DONE}, 5000) == READ_DONE;
        }
        EXPECT_TRUE(read) << testing::PrintToString(app_log());
        expect_alive();
    }

    // Pulls the cable with `fault` set, puts it back, and waits for `line` after identification.
    void reconnect_with(const char* fault, const wchar_t* line) {
        const int lost = count(DISCONNECTED);
        const int found = count(line);
        ASSERT_TRUE(emu_ok(fault)) << fault;
        ASSERT_TRUE(emu_ok("unplug"));
        ASSERT_TRUE(wait_until([&] { return count(DISCONNECTED) > lost; }, 10000));
        ASSERT_TRUE(emu_ok("plug"));
        EXPECT_TRUE(wait_until([&] { return count(line) > found; }, 20000))
            << fault << ": " << testing::PrintToString(app_log());
        expect_alive();
    }
};

TEST_F(HostileDevice, IdentificationAnswersWithOddLengthFieldsOrNoFrameStillIdentify) {
    const Form before = app_form();
    for (const char* fault :
         {"ident-length 0", "ident-length 2", "ident-length 5", "ident-length 65535"}) {
        reconnect_with(fault, CONNECTED);
        EXPECT_FALSE(app_read_only(IDC_SENSOR1_MIN)) << fault;
        ASSERT_TRUE(emu_ok("reset-faults"));
    }
    // The identification string at the very start of the data, with nothing around it.
    const std::string text = "VORK, kavren board v5.000";
    const std::string whole =
        "raw identify " + hex_encode(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    reconnect_with(whole.c_str(), CONNECTED);
    // Cut right after the "v": no version, so the board is connected with the form locked.
    const std::string cut =
        "raw identify " +
        hex_encode(reinterpret_cast<const uint8_t*>(text.data()), text.size() - 5);
    reconnect_with(cut.c_str(), UNKNOWN_BOARD);
    EXPECT_TRUE(app_read_only(IDC_SENSOR1_MIN));
    EXPECT_EQ(app_form(), before);
    reconnect_with("reset-faults", CONNECTED);
    works_again();
}

TEST_F(HostileDevice, StatusRepliesShorterThanTheirLengthChangeNothingAndKeepTheConnection) {
    ASSERT_TRUE(wait_until([] { return app_text(IDC_ILLUMINANCE) == L"50.0"; }, 5000));
    const int lost = count(DISCONNECTED);
    for (const char* fault : {"truncate status 10", "truncate status 16"}) {
        ASSERT_TRUE(emu_ok(fault));
        ASSERT_TRUE(emu_ok("set light 0"));
        Sleep(1500);
        EXPECT_EQ(app_text(IDC_ILLUMINANCE), L"50.0") << fault;
        ASSERT_TRUE(emu_ok("set light 2048"));
    }
    EXPECT_EQ(count(DISCONNECTED), lost);
    ASSERT_TRUE(emu_ok("reset-faults"));
    ASSERT_TRUE(emu_ok("set light 0"));
    EXPECT_TRUE(wait_until([] { return app_text(IDC_ILLUMINANCE) == L"100.0"; }, 5000));
    expect_alive();
}

TEST_F(HostileDevice, ASettingsReplyOf100BytesLeavesTheForm) {
    const FormSets sets = prepare_read();
    ASSERT_TRUE(emu_ok("truncate read 100"));
    EXPECT_EQ(read_and_check(sets), READ_FAILED);
    ASSERT_TRUE(emu_ok("reset-faults"));
    EXPECT_EQ(read_and_check(sets), READ_DONE);
}

TEST_F(HostileDevice, TwoMebibytesOfJunkBetweenPolls) {
    const FormSets sets = prepare_read();
    ASSERT_TRUE(emu_ok("junk 2097152"));
    Sleep(3000);
    expect_alive();
    read_and_check(sets);
    ASSERT_TRUE(emu_ok("junk 2097152 00"));
    Sleep(3000);
    read_and_check(sets);
    works_again();
    EXPECT_EQ(app_form(), sets.new_form);
}

TEST_F(HostileDevice, RepliesSplitOverManyWrites) {
    const FormSets sets = prepare_read();
    // 64 pieces: 5 ms apart the reply is whole within the read window, 20 ms apart it is not.
    for (const char* fault : {"split 64 5", "split 64 20", "split 7 90"}) {
        ASSERT_TRUE(emu_ok(fault));
        read_and_check(sets);
    }
    works_again();
}

TEST_F(HostileDevice, StrayBytesBeforeEveryAnswer) {
    const FormSets sets = prepare_read();
    ASSERT_TRUE(emu_ok("stray-always on"));
    EXPECT_EQ(read_and_check(sets), READ_DONE); // one stray byte is stepped over
    ASSERT_TRUE(emu_ok("set light 0"));
    EXPECT_TRUE(wait_until([] { return app_text(IDC_ILLUMINANCE) == L"100.0"; }, 5000));
    ASSERT_TRUE(emu_ok("stray-always on A5"));
    EXPECT_EQ(read_and_check(sets), READ_DONE);
    ASSERT_TRUE(emu_ok("stray-always on 0000A5"));
    EXPECT_EQ(read_and_check(sets), READ_FAILED); // more than one byte: refused, not misread
    works_again();
}

TEST_F(HostileDevice, AnswersJustAfterTheReplyWindow) {
    const FormSets sets = prepare_read();
    ASSERT_TRUE(emu_ok("delay 150")); // after the window, within the read that follows it
    Sleep(1500);
    expect_alive();
    read_and_check(sets);
    const int lost = count(DISCONNECTED);
    ASSERT_TRUE(emu_ok("delay 400")); // after the window and the read
    EXPECT_TRUE(wait_until([&] { return count(DISCONNECTED) > lost; }, 10000));
    expect_alive();
    EXPECT_TRUE(wait_until([] { return app_read_only(IDC_SENSOR1_MIN); }, 5000));
    works_again();
}

TEST_F(HostileDevice, LineClosedInTheMiddleOfASettingsRead) {
    const FormSets sets = prepare_read();
    const int lost = count(DISCONNECTED);
    ASSERT_TRUE(emu_ok("split 64 20")); // the reply takes 1.3 s to come out
    const long reads = emu_requests("read");
    app_click(IDC_DEVICE_READ);
    ASSERT_TRUE(wait_until([&] { return emu_requests("read") > reads; }, 5000));
    Sleep(100);
    ASSERT_TRUE(emu_ok("unplug"));
    EXPECT_TRUE(wait_until([&] { return count(DISCONNECTED) > lost; }, 10000));
    expect_alive();
    const Form form = app_form();
    EXPECT_EQ(form, count(READ_DONE) > 1 ? sets.new_form : sets.old_form)
        << first_difference(form, sets.old_form);
    works_again();
}

TEST_F(HostileDevice, LineClosedInTheMiddleOfASettingsWrite) {
    const std::string before = distinct_settings_hex();
    ASSERT_TRUE(emu_ok(("set settings " + before).c_str()));
    const Form form = app_form();
    const int lost = count(DISCONNECTED);
    ASSERT_TRUE(emu_ok("delay 150")); // the answer still owed when the cable goes
    const long writes = emu_requests("write");
    app_click(IDC_DEVICE_WRITE);
    ASSERT_TRUE(wait_until([&] { return emu_requests("write") > writes; }, 5000));
    ASSERT_TRUE(emu_ok("unplug"));
    EXPECT_TRUE(wait_until([&] { return count(DISCONNECTED) > lost; }, 10000));
    expect_alive();
    EXPECT_EQ(app_form(), form);
    const std::string during = device_settings();
    works_again();
    // The interrupted write is not carried out again on the new connection.
    EXPECT_EQ(emu_requests("write"), writes + 1);
    // The controller holds its old settings or the whole new ones, nothing in between.
    EXPECT_EQ(click_until(IDC_DEVICE_WRITE, {WRITTEN}), WRITTEN);
    const std::string written = device_settings();
    EXPECT_TRUE(during == before || during == written) << during;
}

} // namespace
