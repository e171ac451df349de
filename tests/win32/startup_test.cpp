// Start-up of the real main dialog: template, control map, factory defaults, edit lock,
// caption, command-line copy and the state the initialisation leaves behind.
#include <cstring>
#include <string>
#include <vector>

#include "main_dialog_fixture.h"
#include "resources/resource_ids.h"
#include "settings/form.h"
#include "settings/settings_file.h"

namespace {

// The defaults as the user sees them, written out from the rules rather than taken from the
// program's own defaults table.
std::u16string expected_default_text(int position) {
    switch (position) {
    case POS_SENSOR1_MIN:
    case POS_SENSOR2_MIN:
        return u"0";
    case POS_SENSOR1_MAX:
    case POS_SENSOR2_MAX:
        return u"100";
    case POS_LIGHT_THRESHOLD:
        return u"50.0";
    case POS_OFF_TIMER:
        return u"180";
    case POS_REPEAT_TIMER:
        return u"5";
    }
    int column = (position - GLOBAL_COUNT) / CHANNEL_COUNT;
    int k = (position - GLOBAL_COUNT) % CHANNEL_COUNT;
    auto number = [](int v) {
        std::string s = std::to_string(v);
        return std::u16string(s.begin(), s.end());
    };
    switch (column) {
    case COL_ON_DELAY:
    case COL_OFF_DELAY:
        return k == 0 ? u"1" : number(50 * k);
    case COL_RISE_TIME:
    case COL_FALL_TIME:
        return k == 0 ? u"1" : number(250 * k);
    case COL_ON_START_LEVEL:
    case COL_OFF_END_LEVEL:
        return u"0.1";
    case COL_ON_END_LEVEL:
    case COL_OFF_START_LEVEL:
        return u"100.0";
    case COL_STANDBY_LEVEL:
        return k % 2 == 0 ? u"0.1" : u"0.0";
    }
    return u"?";
}

bool is_flag_position(int position) {
    return position == POS_USE_LIGHT_SENSOR ||
           (position >= GLOBAL_COUNT && (position - GLOBAL_COUNT) / CHANNEL_COUNT == 8);
}

bool expected_default_check(int position) {
    return position == POS_USE_LIGHT_SENSOR || (position - GLOBAL_COUNT) % 2 == 0;
}

std::wstring class_of(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// Expects `control` at `expected` = {x, y, width, height} in dialog units. The dialog manager
// converts the position and the size separately, and so does this.
void expect_placed(HWND dialog, HWND control, const RECT& expected) {
    RECT position = {expected.left, expected.top, expected.left, expected.top};
    RECT size = {0, 0, expected.right, expected.bottom};
    MapDialogRect(dialog, &position);
    MapDialogRect(dialog, &size);
    RECT actual;
    GetWindowRect(control, &actual);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&actual), 2);
    EXPECT_EQ(actual.left, position.left);
    EXPECT_EQ(actual.top, position.top);
    EXPECT_EQ(actual.right - actual.left, size.right);
    EXPECT_EQ(actual.bottom - actual.top, size.bottom);
}

HWND child_with_text(HWND dialog, const wchar_t* text) {
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t buffer[64] = {};
        GetWindowTextW(child, buffer, 64);
        if (wcscmp(buffer, text) == 0)
            return child;
    }
    return nullptr;
}

using StartupTest = MainDialogTest;

TEST_F(StartupTest, WindowIsAFixedHiddenPopupWithTheTemplateCaption) {
    LONG style = GetWindowLongW(dialog, GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_FALSE(style & WS_VISIBLE);
    EXPECT_EQ(window_text(dialog), u"lumivo");
    EXPECT_EQ(app.dialog, dialog);
    EXPECT_EQ(app_dialog_created, dialog);
    EXPECT_NE(SendMessageW(dialog, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0), 0);
}

// "lumivo, Version: " + the month with its space + the format's space + the year; a one-digit
// day (written after two spaces in the build date) stays in front of the year.
TEST_F(StartupTest, CaptionGetsTheBuildMonthAndYear) {
    app_caption_set(dialog, caption, CAPTION_UNITS);
    std::u16string text = window_text(dialog);
    const std::u16string prefix = u"lumivo, Version: ";
    ASSERT_EQ(text.substr(0, prefix.size()), prefix);
    std::u16string version = text.substr(prefix.size());
    ASSERT_TRUE(version.size() == 9u || version.size() == 11u) << version.size();
    EXPECT_EQ(version.substr(3, 2), u"  ");
    if (version.size() == 11u) {
        EXPECT_TRUE(version[5] >= u'1' && version[5] <= u'9');
        EXPECT_EQ(version[6], u' ');
    }
    for (size_t i = version.size() - 4; i < version.size(); ++i)
        EXPECT_TRUE(version[i] >= u'0' && version[i] <= u'9');
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(caption)), text);
}

TEST_F(StartupTest, EveryControlOfTheMapIsInItsSlotWithItsKind) {
    ASSERT_TRUE(controls_complete());
    const UiRecord* ui = app.ui;
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        HWND window = ui->slots[slot_of_position(p)];
        ASSERT_EQ(window, position_window(p)) << "position " << p;
        EXPECT_EQ(class_of(window), is_flag_position(p) ? L"Button" : L"Edit") << "position " << p;
    }
    EXPECT_EQ(ui->slots[SLOT_DISTANCE1], item(IDC_DISTANCE1));
    EXPECT_EQ(ui->slots[SLOT_DISTANCE2], item(IDC_DISTANCE2));
    EXPECT_EQ(ui->slots[SLOT_ILLUMINANCE], item(IDC_ILLUMINANCE));
    EXPECT_EQ(ui->slots[SLOT_STATUS_LOG], item(IDC_STATUS_LOG));
    for (size_t slot = 251; slot < 255; ++slot)
        EXPECT_EQ(ui->slots[slot], nullptr);
    // A few of the irregular IDs, checked against the template by hand.
    EXPECT_EQ(ui->slots[10], item(1011));
    EXPECT_EQ(ui->slots[249], item(1301));
    EXPECT_EQ(ui->slots[slot_of_position(channel_position(6, 3))], item(1119));
    EXPECT_EQ(ui->slots[slot_of_position(channel_position(4, 4))], item(1120));
    EXPECT_EQ(ui->slots[slot_of_position(channel_position(8, 9))], item(1266));
    EXPECT_EQ(ui->slots[slot_of_position(channel_position(9, 5))], item(1274));
    // Both text buffers exist and the log starts empty.
    ASSERT_NE(ui->log, nullptr);
    ASSERT_NE(ui->scratch, nullptr);
    EXPECT_EQ(ui->log[0], L'\0');
}

TEST_F(StartupTest, ChannelGridSitsWhereTheTemplatePutsIt) {
    expect_placed(dialog, item(1011), {59, 30, 32, 12});   // channel 1, OnDelay
    expect_placed(dialog, item(1250), {367, 31, 16, 10});  // channel 1, standby
    expect_placed(dialog, item(1221), {211, 306, 32, 12}); // channel 24, OffDelay
    expect_placed(dialog, item(1106), {173, 306, 32, 12}); // channel 24, RiseTime
    expect_placed(dialog, item(1301), {388, 306, 32, 12}); // channel 24, StandbyLevel
    expect_placed(dialog, item(1153), {6, 308, 50, 9});    // "Лестница 24"
    expect_placed(dialog, item(IDC_STATUS_LOG), {432, 161, 221, 95});
    expect_placed(dialog, item(IDC_LOAD_DEFAULTS), {593, 300, 60, 20});
    EXPECT_EQ(window_text(item(1153)), u"Лестница 24");
    EXPECT_EQ(window_text(item(1259)), u"режим");
    EXPECT_EQ(window_text(item(IDC_LABEL_ILLUMINANCE)), u"Освещённость, %");
    EXPECT_EQ(window_text(item(IDC_LOAD_DEFAULTS)), u"По умолчанию");
}

TEST_F(StartupTest, FormShowsTheFactoryDefaults) {
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        HWND window = position_window(p);
        if (is_flag_position(p)) {
            LRESULT want = expected_default_check(p) ? BST_CHECKED : BST_UNCHECKED;
            EXPECT_EQ(SendMessageW(window, BM_GETCHECK, 0, 0), want) << "position " << p;
        } else {
            EXPECT_EQ(window_text(window), expected_default_text(p)) << "position " << p;
        }
    }
    // The table itself stays zero: defaults go into the form only.
    for (float value : app.settings_table)
        ASSERT_EQ(value, 0.0f);
}

TEST_F(StartupTest, FormStartsLockedAndOnlyTheLockChanges) {
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        HWND window = position_window(p);
        if (is_flag_position(p))
            EXPECT_FALSE(has_style(window, WS_VISIBLE)) << "check box at position " << p;
        else
            EXPECT_TRUE(has_style(window, ES_READONLY)) << "edit at position " << p;
    }
    for (int id : {IDC_DISTANCE1, IDC_DISTANCE2, IDC_ILLUMINANCE})
        EXPECT_TRUE(has_style(item(id), ES_READONLY | WS_VISIBLE));
    EXPECT_FALSE(has_style(item(IDC_STATUS_LOG), ES_READONLY));
    EXPECT_TRUE(has_style(item(IDC_STATUS_LOG), ES_MULTILINE | WS_VSCROLL | WS_HSCROLL));
    for (int id : {IDC_USE_OFF_TIMER, IDC_REPEAT_TIMER, IDC_REPEAT_TIMER_UNIT})
        EXPECT_FALSE(has_style(item(id), WS_VISIBLE)) << id;
    HWND repeat_group = child_with_text(dialog, L"Таймер Повт.");
    ASSERT_NE(repeat_group, nullptr);
    EXPECT_FALSE(has_style(repeat_group, WS_VISIBLE));
    for (int id :
         {IDC_FILE_SAVE, IDC_FILE_OPEN, IDC_DEVICE_WRITE, IDC_DEVICE_READ, IDC_LOAD_DEFAULTS})
        EXPECT_TRUE(IsWindowEnabled(item(id)));
    // All five buttons are default buttons in the template; the dialog manager keeps the last.
    EXPECT_EQ(SendMessageW(dialog, DM_GETDEFID, 0, 0), MAKELONG(IDC_LOAD_DEFAULTS, DC_HASDEFID));
}

TEST_F(StartupTest, InitialisationLeavesScanAndFileDialogStateReady) {
    EXPECT_EQ(link_flags_get(), 0u);
    EXPECT_EQ(app.scan_ticks, 10);
    EXPECT_EQ(app.last_port_count, -1);
    ASSERT_NE(app.ports, nullptr);
    EXPECT_EQ(app.ports[PORT_TABLE_ENTRIES - 1].handle, nullptr);
    EXPECT_EQ(command_queue_take(&app.pending_commands), PENDING_NONE);
    EXPECT_EQ(settings_file_dialog.hwndOwner, dialog);
    EXPECT_EQ(settings_file_dialog.lStructSize, sizeof(OPENFILENAMEW));
    EXPECT_EQ(settings_file_dialog.lpstrFile, settings_file_path);
    EXPECT_EQ(settings_file_dialog.nMaxFile, SETTINGS_PATH_UNITS);
    EXPECT_EQ(settings_file_dialog.nFilterIndex, 1u);
    const wchar_t* filter = settings_file_dialog.lpstrFilter;
    std::vector<std::wstring> parts;
    for (const wchar_t* s = filter; *s != L'\0'; s += wcslen(s) + 1)
        parts.emplace_back(s);
    EXPECT_EQ(parts, (std::vector<std::wstring>{L"Контроллер лестницы LUMIVO24", L"*.lv24", L"All",
                                                L"*.*"}));
    EXPECT_EQ(app.settings_path, nullptr) << "the command-line path must not outlive its load";
}

class QuotedCommandLineTest : public MainDialogTest {
    const wchar_t* command_line() override { return L"\"C:\\my files\\st\"airs Ωї.lv24\""; }
};

TEST_F(QuotedCommandLineTest, EveryQuoteIsRemovedFromTheCopy) {
    EXPECT_STREQ(app.command_line_copy, L"C:\\my files\\stairs Ωї.lv24");
}

// A command line longer than the copy is cut to 32767 units; nothing after the copy is touched.
class LongCommandLineTest : public MainDialogTest {
    const wchar_t* command_line() override {
        long_line.assign(40000, L'x');
        return long_line.c_str();
    }
    std::wstring long_line;
};

TEST_F(LongCommandLineTest, IsCutToTheCopy) {
    EXPECT_EQ(wcsnlen(app.command_line_copy, COMMAND_LINE_UNITS), COMMAND_LINE_UNITS - 1);
    EXPECT_EQ(app.port_entry_count, 0u);
    EXPECT_EQ(app.last_port_count, -1);
}

} // namespace
