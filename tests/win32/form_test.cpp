// Moving values between the real form and a table: gathering, showing, the edit lock, and the
// same from a second thread the way the link worker does it.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "main_dialog_fixture.h"
#include "resources/resource_ids.h"
#include "settings/form.h"

namespace {

using FormTest = MainDialogTest;

constexpr int ON_DELAY_1 = channel_position(COL_ON_DELAY, 1);
constexpr int STANDBY_LEVEL_1 = channel_position(COL_STANDBY_LEVEL, 1);
constexpr int STANDBY_1 = channel_position(COL_STANDBY_ENABLED, 1);
constexpr int STANDBY_2 = channel_position(COL_STANDBY_ENABLED, 2);
constexpr int FALL_TIME_24 = channel_position(COL_FALL_TIME, 24);
constexpr int ON_START_LEVEL_7 = channel_position(COL_ON_START_LEVEL, 7);

LRESULT check_state(int position) {
    return SendMessageW(position_window(position), BM_GETCHECK, 0, 0);
}

TEST_F(FormTest, GatherRightAfterStartUpYieldsTheDefaults) {
    float table[SETTINGS_COUNT];
    memset(table, 0xCC, sizeof table);
    form_gather(table);
    EXPECT_EQ(table[POS_SENSOR1_MIN], 0.0f);
    EXPECT_EQ(table[POS_SENSOR1_MAX], 100.0f);
    EXPECT_EQ(table[POS_LIGHT_THRESHOLD], 50.0f);
    EXPECT_EQ(table[POS_USE_LIGHT_SENSOR], 1.0f);
    EXPECT_EQ(table[POS_OFF_TIMER], 180.0f);
    EXPECT_EQ(table[POS_REPEAT_TIMER], 5.0f); // hidden, read all the same
    EXPECT_EQ(table[ON_DELAY_1], 1.0f);
    EXPECT_EQ(table[STANDBY_LEVEL_1], 0.1f);
    EXPECT_EQ(table[STANDBY_1], 1.0f); // hidden by the lock, read all the same
    EXPECT_EQ(table[STANDBY_2], 0.0f);
    EXPECT_EQ(table[FALL_TIME_24], 5750.0f);
    EXPECT_EQ(table[channel_position(COL_STANDBY_LEVEL, 24)], 0.0f);
}

TEST_F(FormTest, ShownValuesAreRoundedAndGatherTakesTheRoundedValue) {
    float table[SETTINGS_COUNT] = {};
    table[ON_DELAY_1] = 12.4f;
    table[ON_START_LEVEL_7] = 0.25f;
    table[FALL_TIME_24] = 1234.5f;
    table[POS_LIGHT_THRESHOLD] = 49.8f;
    form_show(table, SHOW_FILE);
    EXPECT_EQ(window_text(position_window(ON_DELAY_1)), u"12");
    EXPECT_EQ(window_text(position_window(ON_START_LEVEL_7)), u"0.3");
    EXPECT_EQ(window_text(position_window(FALL_TIME_24)), u"1235");
    EXPECT_EQ(window_text(position_window(POS_LIGHT_THRESHOLD)), u"49.8");
    EXPECT_EQ(window_text(position_window(STANDBY_LEVEL_1)), u"0.0");

    float gathered[SETTINGS_COUNT];
    form_gather(gathered);
    EXPECT_EQ(gathered[ON_DELAY_1], 12.0f);
    EXPECT_EQ(gathered[ON_START_LEVEL_7], 0.3f);
    EXPECT_EQ(gathered[FALL_TIME_24], 1235.0f);

    form_show(table, SHOW_CONTROLLER);
    EXPECT_EQ(window_text(position_window(POS_LIGHT_THRESHOLD)), u"50");
}

TEST_F(FormTest, OnlyExactlyOneChecksABox) {
    float table[SETTINGS_COUNT] = {};
    table[POS_USE_LIGHT_SENSOR] = 0.5f;
    table[STANDBY_1] = 2.0f;
    table[STANDBY_2] = 1.0f;
    table[channel_position(COL_STANDBY_ENABLED, 3)] = std::numeric_limits<float>::quiet_NaN();
    form_show(table, SHOW_FILE);
    EXPECT_EQ(check_state(POS_USE_LIGHT_SENSOR), BST_UNCHECKED);
    EXPECT_EQ(check_state(STANDBY_1), BST_UNCHECKED);
    EXPECT_EQ(check_state(STANDBY_2), BST_CHECKED);
    EXPECT_EQ(check_state(channel_position(COL_STANDBY_ENABLED, 3)), BST_UNCHECKED);
    float gathered[SETTINGS_COUNT];
    form_gather(gathered);
    EXPECT_EQ(gathered[POS_USE_LIGHT_SENSOR], 0.0f);
    EXPECT_EQ(gathered[STANDBY_1], 0.0f);
    EXPECT_EQ(gathered[STANDBY_2], 1.0f);
}

TEST_F(FormTest, HiddenRepeatTimerTakesPartBothWays) {
    float table[SETTINGS_COUNT] = {};
    table[POS_REPEAT_TIMER] = 7.0f;
    form_show(table, SHOW_FILE);
    HWND repeat = item(IDC_REPEAT_TIMER);
    EXPECT_EQ(window_text(repeat), u"7");
    set_window_text(repeat, u"9");
    float gathered[SETTINGS_COUNT];
    form_gather(gathered);
    EXPECT_EQ(gathered[POS_REPEAT_TIMER], 9.0f);
    EXPECT_FALSE(has_style(repeat, WS_VISIBLE));
}

// Values that are not finite show the program's own texts, and gather back as those texts read.
TEST_F(FormTest, NonFiniteValuesShowAndGatherBackConsistently) {
    float table[SETTINGS_COUNT] = {};
    table[ON_DELAY_1] = std::numeric_limits<float>::quiet_NaN();
    table[STANDBY_LEVEL_1] = std::numeric_limits<float>::infinity();
    table[POS_SENSOR1_MAX] = -std::numeric_limits<float>::infinity();
    form_show(table, SHOW_FILE);
    const int positions[] = {ON_DELAY_1, STANDBY_LEVEL_1, POS_SENSOR1_MAX};
    for (int p : positions) {
        char16_t expected[100];
        form_value_text(expected, 100, p, table[p], SHOW_FILE);
        EXPECT_EQ(window_text(position_window(p)), std::u16string(expected)) << p;
    }
    float gathered[SETTINGS_COUNT];
    form_gather(gathered);
    for (int p : positions) {
        std::u16string shown = window_text(position_window(p));
        float expected = form_text_value(shown.c_str());
        EXPECT_TRUE(std::isfinite(gathered[p])) << p;
        EXPECT_EQ(gathered[p], expected) << p;
    }
}

// A comma followed by a digit is the decimal point, as a Russian technician types it.
TEST_F(FormTest, TypedTextsAreReadByTheirLeadingNumber) {
    const struct {
        const char16_t* text;
        float value;
    } cases[] = {{u"", 0.0f},      {u" 7", 7.0f},     {u"12abc", 12.0f}, {u"abc", 0.0f},
                 {u"1,5", 1.5f},   {u"1e3", 1000.0f}, {u"1d3", 1000.0f}, {u"-5", -5.0f},
                 {u"12,5", 12.5f}, {u"0,1", 0.1f},    {u"12,", 12.0f},   {u"1,5e2", 150.0f}};
    HWND on_delay = position_window(ON_DELAY_1);
    for (const auto& c : cases) {
        set_window_text(on_delay, c.text);
        float gathered[SETTINGS_COUNT];
        form_gather(gathered);
        EXPECT_EQ(gathered[ON_DELAY_1], c.value);
    }
}

// The text read from an edit is cut at 8191 units: a number beyond that is not seen.
TEST_F(FormTest, GatherReadsAtMost8191UnitsOfAnEdit) {
    HWND on_delay = position_window(ON_DELAY_1);
    SendMessageW(on_delay, EM_SETLIMITTEXT, 20000, 0);
    std::u16string within(8190, u' ');
    within += u"5";
    set_window_text(on_delay, within.c_str());
    float gathered[SETTINGS_COUNT];
    form_gather(gathered);
    EXPECT_EQ(gathered[ON_DELAY_1], 5.0f);
    std::u16string beyond(8191, u' ');
    beyond += u"5";
    set_window_text(on_delay, beyond.c_str());
    form_gather(gathered);
    EXPECT_EQ(gathered[ON_DELAY_1], 0.0f);
}

TEST_F(FormTest, UnlockMakesEditsWritableAndShowsTheCheckBoxes) {
    SendMessageW(position_window(STANDBY_2), BM_SETCHECK, BST_CHECKED, 0);
    set_form_lock(0);
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        HWND window = position_window(p);
        if (settings_value_kind(p) == VALUE_FLAG)
            EXPECT_TRUE(has_style(window, WS_VISIBLE)) << p;
        else
            EXPECT_FALSE(has_style(window, ES_READONLY)) << p;
    }
    // The check state set while hidden shows on unlock; the hidden controls stay hidden.
    EXPECT_EQ(check_state(STANDBY_2), BST_CHECKED);
    for (int id : {IDC_USE_OFF_TIMER, IDC_REPEAT_TIMER, IDC_REPEAT_TIMER_UNIT})
        EXPECT_FALSE(has_style(item(id), WS_VISIBLE)) << id;
    for (int id : {IDC_DISTANCE1, IDC_DISTANCE2, IDC_ILLUMINANCE})
        EXPECT_TRUE(has_style(item(id), ES_READONLY));

    set_form_lock(1);
    EXPECT_TRUE(has_style(position_window(FALL_TIME_24), ES_READONLY));
    EXPECT_FALSE(has_style(position_window(STANDBY_2), WS_VISIBLE));
    EXPECT_EQ(check_state(STANDBY_2), BST_CHECKED);
}

TEST_F(FormTest, SettingsTableTransfersGoThroughAppState) {
    app.settings_table[ON_DELAY_1] = 321.0f;
    app.settings_table[POS_USE_LIGHT_SENSOR] = 1.0f;
    show_table(SHOW_FILE);
    EXPECT_EQ(window_text(position_window(ON_DELAY_1)), u"321");
    set_window_text(position_window(ON_DELAY_1), u"654");
    gather_form();
    EXPECT_EQ(app.settings_table[ON_DELAY_1], 654.0f);
    EXPECT_EQ(app.settings_table[POS_USE_LIGHT_SENSOR], 1.0f);
    EXPECT_EQ(app.settings_table[FALL_TIME_24], 0.0f);
}

// The link worker shows and gathers from its own thread; the user-interface thread carries out
// each control message while it keeps dispatching, and may use the table in between.
TEST_F(FormTest, TransfersWorkFromASecondThread) {
    app.settings_table[FALL_TIME_24] = 4321.0f;
    app.settings_table[POS_LIGHT_THRESHOLD] = 49.8f;
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID) -> DWORD {
            show_table(SHOW_CONTROLLER);
            gather_form();
            return 0;
        },
        nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    int ui_turns = 0;
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, 10000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        pump_messages();
        ++ui_turns;
    }
    CloseHandle(thread);
    EXPECT_GT(ui_turns, 0);
    EXPECT_EQ(window_text(position_window(FALL_TIME_24)), u"4321");
    EXPECT_EQ(window_text(position_window(POS_LIGHT_THRESHOLD)), u"50");
    EXPECT_EQ(app.settings_table[POS_LIGHT_THRESHOLD], 50.0f);
    EXPECT_EQ(app.settings_table[ON_DELAY_1], 0.0f);
}

} // namespace
