// Settings files from end to end: the save and open dialogs of the group "Файл", the file named
// on the command line or handed over by a second start, files that fail their check, saves that
// fail, and a saved file read back byte by byte by the test itself (its own CRC and line-end
// decoding, not the program's).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "driver.h"

#include <shellapi.h>

#include "settings/settings_layout.h"
#include "tests/support/test_support.h"

namespace {

const wchar_t SAVED[] = L"Данные записаны в файл \"";
const wchar_t LOADED[] = L"Данные прочитаны из файла \"";
const wchar_t WRITE_FAILED[] = L"Ошибка записи в файл \"";
const wchar_t BOX_CAPTION[] = L"Ошибка открытия файла!";

// A file's log line as the window shows it: `shown` stands for the path, which it is unless the
// line would be longer than 99 units.
std::wstring file_line(const wchar_t* start, const std::wstring& shown) {
    return start + shown + L"\".\r\n";
}

std::wstring path_in(const std::wstring& name) {
    return test_folder() + L"\\" + name;
}

bool file_exists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// CR LF pairs back to LF, every other byte kept.
std::vector<uint8_t> decode_line_ends(const std::vector<uint8_t>& disk) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < disk.size(); ++i) {
        if (!(disk[i] == 0x0D && i + 1 < disk.size() && disk[i + 1] == 0x0A)) {
            out.push_back(disk[i]);
        }
    }
    return out;
}

bool contains(const std::vector<uint8_t>& hay, std::initializer_list<uint8_t> needle) {
    const std::vector<uint8_t> n(needle);
    return std::search(hay.begin(), hay.end(), n.begin(), n.end()) != hay.end();
}

// Waits for `line` to appear in the log once more than `before` times.
bool log_grows(const std::wstring& line, int before) {
    return wait_until([&] { return app_log_count(line.c_str()) > before; }, 10000);
}

// The save or the open dialog: clicks the button, chooses `name` (a full path) and waits for
// the dialog to close.
bool choose_in_dialog(int button, const std::wstring& name, int filter_index = -1) {
    app_click_async(button);
    HWND dialog = app_modal(nullptr);
    return dialog != nullptr && file_dialog_choose(dialog, name.c_str(), filter_index);
}

bool save_as(const std::wstring& name, const std::wstring& expected_path) {
    const std::wstring line = SAVED + expected_path + L"\".\r\n";
    const int before = app_log_count(line.c_str());
    return choose_in_dialog(13, name) && log_grows(line, before);
}

bool open_file(const std::wstring& path) {
    const std::wstring line = LOADED + path + L"\".\r\n";
    const int before = app_log_count(line.c_str());
    return choose_in_dialog(14, path) && log_grows(line, before);
}

// One settings control of the form: its id, whether it is a check box, the text typed into it
// (or its check state) and the text the form shows for that value after a file load.
struct Field {
    int id;
    bool check;
    std::wstring typed;
    std::wstring shown;
    bool checked;
};

// Distinct values for all 248 controls, in the order the file stores them. Channel 1's OnDelay
// is 616 (its float holds a 0x1A byte) and channel 2's OnStartLevel 8.625 (a 0x0A byte).
std::vector<Field> distinct_fields() {
    std::vector<Field> f = {
        {1006, false, L"11", L"11", false},     {1007, false, L"12", L"12", false},
        {1009, false, L"13", L"13", false},     {1010, false, L"14", L"14", false},
        {1008, false, L"49.8", L"49.8", false}, {1302, true, L"", L"", false},
        {1304, false, L"321", L"321", false},
    };
    const int record[CHANNEL_COLUMNS] = {0, 1, 2, 3, 4, 5, 6, 7, 9, 8};
    for (int c = 1; c <= CHANNEL_COUNT; ++c) {
        for (int column : record) {
            const int id = ControlIdGrid[CHANNEL_COUNT * column + c - 1];
            wchar_t text[32];
            if (column == COL_STANDBY_ENABLED) {
                f.push_back({id, true, L"", L"", c % 3 == 0});
                continue;
            }
            const bool time = column == 0 || column == 3 || column == 4 || column == 7;
            if (time) {
                swprintf(text, 32, L"%d", 1000 * (column + 1) + c);
            } else {
                swprintf(text, 32, L"%.1f", 10.0 * column + 0.1 * c);
            }
            f.push_back({id, false, text, text, false});
        }
    }
    f[7].typed = f[7].shown = L"616";
    f[7 + 10 + 1].typed = L"8.625";
    f[7 + 10 + 1].shown = L"8.6";
    f.push_back({1309, false, L"77", L"77", false}); // RepeatTimer: in the form, not in the file
    return f;
}

void type_fields(const std::vector<Field>& fields) {
    for (const Field& field : fields) {
        if (field.check) {
            app_set_check(field.id, field.checked);
        } else {
            app_set_text(field.id, field.typed.c_str());
        }
    }
}

void scramble_form(const std::vector<Field>& fields) {
    for (const Field& field : fields) {
        if (field.check) {
            app_set_check(field.id, !field.checked);
        } else {
            app_set_text(field.id, L"0");
        }
    }
}

// Names of the controls that do not show what `fields` says, with what they show.
std::wstring form_mismatches(const std::vector<Field>& fields) {
    std::wstring out;
    for (const Field& field : fields) {
        if (field.check ? app_checked(field.id) != field.checked
                        : app_text(field.id) != field.shown) {
            out += std::to_wstring(field.id) + L"=" +
                   (field.check ? std::wstring(app_checked(field.id) ? L"on" : L"off")
                                : app_text(field.id)) +
                   L" ";
        }
    }
    return out;
}

float float_at(const std::vector<uint8_t>& bytes, size_t offset) {
    uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) {
        bits |= static_cast<uint32_t>(bytes[offset + i]) << (8 * i);
    }
    float value;
    memcpy(&value, &bits, 4);
    return value;
}

class Files : public testing::Test {
  protected:
    void TearDown() override {
        // A message box left open by a failed case must not keep the program alive.
        if (HWND box = app_modal(BOX_CAPTION, L"#32770", 0)) {
            dialog_press(box, IDOK);
        }
        app_stop();
    }
};

TEST_F(Files, SaveDialogAppendsTheExtensionUnlessTheNameEndsInIt) {
    ASSERT_TRUE(app_start());
    const struct {
        const wchar_t* typed;
        const wchar_t* saved;
    } cases[] = {
        {L"plain", L"plain.lv24"},
        {L"upper.LV24", L"upper.LV24.lv24"},
        {L"nodotlv24", L"nodotlv24.lv24"},
        {L"kept.lv24", L"kept.lv24"},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(save_as(path_in(c.typed), path_in(c.saved)))
            << testing::PrintToString(c.typed) << " log: " << testing::PrintToString(app_log());
        EXPECT_TRUE(file_exists(path_in(c.saved))) << testing::PrintToString(c.saved);
        EXPECT_GE(file_bytes(path_in(c.saved)).size(), 1054u);
    }
    EXPECT_FALSE(file_exists(path_in(L"plain")));
    EXPECT_FALSE(file_exists(path_in(L"kept.lv24.lv24")));

    // The open dialog starts from the last path chosen and loads the file it is given.
    app_click_async(14);
    HWND dialog = app_modal(nullptr);
    ASSERT_NE(dialog, nullptr);
    HWND field = nullptr;
    for (int id : {1148, 1152}) {
        field = field != nullptr ? field : GetDlgItem(dialog, id);
    }
    EXPECT_NE(window_text(field).find(L"kept.lv24"), std::wstring::npos)
        << testing::PrintToString(window_text(field));
    dialog_press(dialog, IDCANCEL);
    EXPECT_TRUE(open_file(path_in(L"kept.lv24")));
    EXPECT_EQ(app_log_count(L"Ошибка"), 0) << testing::PrintToString(app_log());
}

TEST_F(Files, SaveThenLoadRestoresTheFormAndTheFileIsLaidOutByteForByte) {
    ASSERT_TRUE(app_start());
    const std::vector<Field> fields = distinct_fields();
    type_fields(fields);
    const std::wstring path = path_in(L"all.lv24");
    ASSERT_TRUE(save_as(path, path)) << testing::PrintToString(app_log());

    // The file on disk.
    const std::vector<uint8_t> disk = file_bytes(path);
    const std::vector<uint8_t> content = decode_line_ends(disk);
    ASSERT_EQ(content.size(), 1050u);
    EXPECT_EQ(disk.size(), 1050u + std::count(content.begin(), content.end(), 0x0A));
    EXPECT_GE(disk.size(), 1054u);
    // The banner: an empty line, then lines of 26, 15 and 14 bytes, each ended by CR LF.
    for (size_t end : {0u, 28u, 45u, 61u}) {
        EXPECT_EQ(content[end], 0x0D) << end;
        EXPECT_EQ(content[end + 1], 0x0A) << end;
    }
    EXPECT_EQ(std::count(content.begin(), content.begin() + 63, 0x0A), 4);
    EXPECT_EQ(std::count(content.begin(), content.begin() + 63, 0x00), 0);
    EXPECT_EQ(std::count(content.begin(), content.begin() + 63, 0x1A), 0);
    EXPECT_EQ(content[63], 0);
    // The floats in file order, exactly the values typed; RepeatTimer not among them.
    for (size_t i = 0; i < 246; ++i) {
        const Field& field = fields[i];
        const float expected = field.check
                                   ? (field.checked ? 1.0f : 0.0f)
                                   : static_cast<float>(wcstod(field.typed.c_str(), nullptr));
        EXPECT_EQ(float_at(content, 64 + 4 * i), expected) << "float " << i;
    }
    EXPECT_EQ(content[1048] | content[1049] << 8, reference_crc16(content.data(), 1048));
    EXPECT_TRUE(contains(disk, {0x00, 0x00, 0x1A, 0x44}));       // 616
    EXPECT_TRUE(contains(disk, {0x00, 0x00, 0x0D, 0x0A, 0x41})); // 8.625

    // Loaded into the same program: everything comes back, the two values the file does not
    // hold from the table of the last save.
    scramble_form(fields);
    ASSERT_TRUE(open_file(path)) << testing::PrintToString(app_log());
    EXPECT_EQ(form_mismatches(fields), L"");
    app_stop();

    // Loaded into a fresh program: everything the file holds comes back; RepeatTimer and the
    // last channel's StandbyEnabled keep the fresh table's zeros.
    ASSERT_TRUE(app_start((L"\"" + path + L"\"").c_str()));
    EXPECT_TRUE(app_log_contains((LOADED + path + L"\".\r\n").c_str()));
    std::vector<Field> expected = fields;
    expected.back().shown = L"0";
    expected[expected.size() - 2].checked = false;
    EXPECT_EQ(form_mismatches(expected), L"");
}

TEST_F(Files, CommandLineLoadsQuotedPathsNamesInAnyScriptLongPathsAndReportsMissing) {
    // A file to load, saved by the program with a recognisable OffTimer.
    ASSERT_TRUE(app_start());
    app_set_text(1304, L"4321");
    const std::wstring dir = path_in(L"with space");
    CreateDirectoryW(dir.c_str(), nullptr);
    const std::wstring spaced = dir + L"\\a b.lv24";
    ASSERT_TRUE(save_as(spaced, spaced));
    app_stop();
    const std::vector<uint8_t> bytes = file_bytes(spaced);
    const std::wstring cyrillic = path_in(L"Лестница ёЁ.lv24");
    const std::wstring greek_ukrainian = path_in(L"Сходи ї Ω.lv24");
    // Past the old path length limit, in folders made through the extended path form.
    const std::wstring deep_dir = path_in(std::wstring(120, L'd'));
    const std::wstring deep = deep_dir + L"\\" + std::wstring(120, L'e') + L".lv24";
    ASSERT_GT(deep.size(), 260u);
    CreateDirectoryW((L"\\\\?\\" + deep_dir).c_str(), nullptr);
    for (const std::wstring& path : {cyrillic, greek_ukrainian, L"\\\\?\\" + deep}) {
        write_file(path, bytes);
    }
    struct Case {
        std::wstring arguments;
        std::wstring shown; // the path as the log shows it
    };
    const Case cases[] = {
        {L"\"" + spaced + L"\"", spaced},
        {dir + L"\\\"a b\".lv24", spaced},
        {L"\"" + dir + L"\"\\\"a\" \"b.lv24\"", spaced},
        {L"\"" + cyrillic + L"\"", cyrillic},
        {L"\"" + greek_ukrainian + L"\"", greek_ukrainian},
        // Too long for the line's 99 units, and its file name too long to stand whole beside the
        // drive: the path keeps its first 34 units and its last 33.
        {L"\"" + deep + L"\"", deep.substr(0, 34) + L"…" + std::wstring(28, L'e') + L".lv24"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(app_start(c.arguments.c_str()));
        EXPECT_TRUE(app_log_contains(file_line(LOADED, c.shown).c_str()))
            << testing::PrintToString(c.arguments) << testing::PrintToString(app_log());
        EXPECT_EQ(app_text(1304), L"4321");
        app_stop();
    }

    // A missing file is named in the log; an empty command line loads and logs nothing.
    emu_ok("silent on");
    const std::wstring missing = path_in(L"missing.lv24");
    ASSERT_TRUE(app_start(missing.c_str()));
    EXPECT_TRUE(app_log_contains((L"Ошибка открытия файла " + missing + L".\r\n").c_str()))
        << testing::PrintToString(app_log());
    EXPECT_EQ(app_text(1304), L"180");
    app_stop();
    ASSERT_TRUE(app_start(L""));
    Sleep(1500);
    EXPECT_EQ(app_log_count(L"файл"), 0) << testing::PrintToString(app_log());
    EXPECT_EQ(app_text(1304), L"180");
    emu_ok("silent off");
}

// A path that is no file on a disk is refused at once with the line of a file that cannot be
// opened, and the window goes on working: a FIFO with nobody writing to it, one held open by a
// writer that never writes (a read from it would wait for ever), devices by their reserved and
// their device-space names, a pipe that a server holds open, a device under Z:. The window comes
// up: its start, which loads the command line's file, did not stop in the read.
TEST_F(Files, PathsThatAreNoFileOnADiskAreRefusedAtOnce) {
    HANDLE pipe = CreateNamedPipeW(L"\\\\.\\pipe\\lumivo-files-test", PIPE_ACCESS_DUPLEX,
                                   PIPE_TYPE_BYTE, 4, 4096, 4096, 0, nullptr);
    for (const std::wstring& path :
         {path_in(L"fifo.lv24"), path_in(L"fifo-held.lv24"), std::wstring(L"NUL"),
          std::wstring(L"nul.lv24"), std::wstring(L"\\\\.\\COM1"),
          std::wstring(L"\\\\.\\pipe\\lumivo-files-test"), std::wstring(L"Z:\\dev\\zero")}) {
        const std::wstring line = L"Ошибка открытия файла " + path + L".\r\n";
        ASSERT_TRUE(app_start((L"\"" + path + L"\"").c_str())) << testing::PrintToString(path);
        EXPECT_EQ(app_log().substr(0, line.size()), line); // the first line, logged as it starts
        EXPECT_EQ(app_text(1304), L"180");
        EXPECT_TRUE(app_stop());
    }
    CloseHandle(pipe);
}

TEST_F(Files, AFileThatFailsItsCheckShowsTheBoxLogsAfterItAndChangesNothing) {
    ASSERT_TRUE(app_start());
    const std::wstring good = path_in(L"good.lv24");
    ASSERT_TRUE(save_as(good, good));
    const std::vector<uint8_t> bytes = file_bytes(good);
    std::vector<uint8_t> bad_crc = bytes;
    bad_crc[100] ^= 0x40;
    write_file(path_in(L"badcrc.lv24"), bad_crc);
    write_file(path_in(L"short.lv24"),
               std::vector<uint8_t>(bytes.begin(), bytes.begin() + bytes.size() - 1));
    std::vector<uint8_t> text(2000, 'x');
    write_file(path_in(L"notes.txt"), text);
    app_set_text(1304, L"999");

    struct Case {
        const wchar_t* name;
        int filter;
    };
    for (const Case& c :
         {Case{L"badcrc.lv24", -1}, Case{L"short.lv24", -1}, Case{L"notes.txt", 1}}) {
        const std::wstring path = path_in(c.name);
        const std::wstring line = L"Ошибка файла \"" + path + L"\".\r\n";
        const int before = app_log_count(line.c_str());
        ASSERT_TRUE(choose_in_dialog(14, path, c.filter)) << testing::PrintToString(c.name);
        HWND box = app_modal(BOX_CAPTION);
        ASSERT_NE(box, nullptr) << testing::PrintToString(c.name);
        EXPECT_EQ(message_box_text(box), line);
        EXPECT_EQ(app_log_count(line.c_str()), before); // logged only once the box is closed
        EXPECT_TRUE(dialog_press(box, IDOK));
        EXPECT_TRUE(log_grows(line, before)) << testing::PrintToString(app_log());
        EXPECT_EQ(app_text(1304), L"999");
    }
    EXPECT_EQ(app_log_count(LOADED), 0);
    app_stop();

    // At start-up the box comes before the window is shown.
    const std::wstring bad = path_in(L"badcrc.lv24");
    ASSERT_TRUE(app_launch((L"\"" + bad + L"\"").c_str()));
    HWND box = app_modal(BOX_CAPTION, L"#32770", 15000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(message_box_text(box), L"Ошибка файла \"" + bad + L"\".\r\n");
    EXPECT_TRUE(dialog_press(box, IDOK));
    ASSERT_TRUE(app_wait_window());
    EXPECT_TRUE(app_log_contains((L"Ошибка файла \"" + bad + L"\".\r\n").c_str()));
    EXPECT_EQ(app_text(1304), L"180");
}

TEST_F(Files, AFailedSaveIsReportedAndALongPathIsCutInTheLog) {
    ASSERT_TRUE(app_start());
    // "dir" becomes "dir.lv24", which is a directory: the file cannot be created.
    CreateDirectoryW(path_in(L"dir.lv24").c_str(), nullptr);
    const int saved_before = app_log_count(SAVED);
    const std::wstring failed = std::wstring(WRITE_FAILED) + path_in(L"dir.lv24") + L"\".\r\n";
    ASSERT_TRUE(choose_in_dialog(13, path_in(L"dir")));
    EXPECT_TRUE(log_grows(failed, 0)) << testing::PrintToString(app_log());
    EXPECT_EQ(app_log_count(SAVED), saved_before);

    // A directory that does not exist (the save dialog lets it through).
    const std::wstring nowhere = path_in(L"nowhere\\x.lv24");
    ASSERT_TRUE(choose_in_dialog(13, nowhere));
    EXPECT_TRUE(log_grows(WRITE_FAILED + nowhere + L"\".\r\n", 0))
        << testing::PrintToString(app_log());

    // A path whose log line does not fit 99 characters is cut there, in its middle, not in the
    // file (where exactly: the log line's own tests).
    const std::wstring long_folder = path_in(std::wstring(60, L'n'));
    CreateDirectoryW(long_folder.c_str(), nullptr);
    const std::wstring long_path = long_folder + L"\\Подъезд 2.lv24";
    ASSERT_TRUE(choose_in_dialog(13, long_path));
    EXPECT_TRUE(wait_until([] { return app_log_contains(L"…\\Подъезд 2.lv24\".\r\n"); }, 10000))
        << testing::PrintToString(app_log());
    EXPECT_FALSE(app_log_contains((long_path + L"\".").c_str()));
    EXPECT_TRUE(file_exists(long_path));
}

// The .lv24 association of this prefix, as an installation makes it ("open" starts the program
// with the file's path in quotes); taken away again with `on` false.
bool associate(bool on) {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"LUMIVO24.TestFile");
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L".lv24");
    wchar_t exe[1024] = {};
    GetEnvironmentVariableW(L"LUMIVO_EXE", exe, 1024);
    const std::wstring command = L"\"" + std::wstring(exe) + L"\" \"%1\"";
    const std::wstring values[2][2] = {{L".lv24", L"LUMIVO24.TestFile"},
                                       {L"LUMIVO24.TestFile\\shell\\open\\command", command}};
    for (const auto& v : values) {
        const DWORD bytes = static_cast<DWORD>((v[1].size() + 1) * sizeof(wchar_t));
        if (on && RegSetKeyValueW(HKEY_CLASSES_ROOT, v[0].c_str(), nullptr, REG_SZ, v[1].c_str(),
                                  bytes) != ERROR_SUCCESS) {
            return false;
        }
    }
    return true;
}

// A second start with a file, from the command line or through the association, hands the file
// to the window open already: it loads it as a command-line file, comes to the front, and the
// second start ends. A start without a file opens a window of its own.
TEST_F(Files, ASecondStartHandsItsFileToTheOpenWindow) {
    ASSERT_TRUE(app_start());
    app_set_text(1304, L"4321");
    const std::wstring path = path_in(L"Сходи ї Ω.lv24");
    ASSERT_TRUE(save_as(path, path));
    const std::wstring loaded = LOADED + path + L"\".\r\n";
    ASSERT_TRUE(associate(true));
    for (int start = 1; start <= 2; ++start) {
        app_set_text(1304, L"999");
        ShowWindow(app_window(), SW_MINIMIZE);
        if (start == 1) {
            ASSERT_TRUE(other_launch((L"\"" + path + L"\"").c_str()));
            DWORD code = 99;
            EXPECT_TRUE(other_exited(10000, &code));
            EXPECT_EQ(code, 0u);
        } else {
            EXPECT_GT(reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", path.c_str(),
                                                              nullptr, nullptr, SW_SHOWNORMAL)),
                      32);
        }
        EXPECT_TRUE(wait_until([&] { return app_log_count(loaded.c_str()) == start; }, 15000))
            << "start " << start << testing::PrintToString(app_log());
        EXPECT_EQ(app_text(1304), L"4321");
        EXPECT_EQ(program_windows(), 1);
        EXPECT_FALSE(IsIconic(app_window()));
        EXPECT_EQ(GetForegroundWindow(), app_window());
    }

    ASSERT_TRUE(other_launch(L""));
    EXPECT_TRUE(wait_until([] { return program_windows() == 2; }, 15000));
    EXPECT_TRUE(other_stop());
    EXPECT_TRUE(app_stop());
    associate(false);
}

// Ten files opened together (a selection in Explorer starts one process per file at the same
// moment) end in one window: each start hands its file over in turn, every file is loaded once
// with its line in the log, and the form shows the file loaded last.
TEST_F(Files, TenFilesOpenedAtOnceEndInOneWindow) {
    ASSERT_TRUE(app_start());
    std::vector<std::wstring> paths, arguments;
    for (int n = 1; n <= 10; ++n) {
        app_set_text(1304, std::to_wstring(100 + n).c_str());
        paths.push_back(path_in(L"Подъезд " + std::to_wstring(n) + L".lv24"));
        ASSERT_TRUE(save_as(paths.back(), paths.back()));
        arguments.push_back(L"\"" + paths.back() + L"\"");
    }
    ASSERT_TRUE(app_stop());
    EXPECT_TRUE(starts_run(arguments, 1, 90000)) << "a start failed, or more than one kept running";
    ASSERT_TRUE(app_attach(15000));
    EXPECT_TRUE(wait_until([] { return app_log_count(LOADED) == 10; }, 15000))
        << testing::PrintToString(app_log());
    for (const std::wstring& path : paths) {
        EXPECT_EQ(app_log_count((LOADED + path + L"\".\r\n").c_str()), 1)
            << testing::PrintToString(path);
    }
    const std::wstring log = app_log(), head = LOADED + path_in(L"Подъезд ");
    const size_t last = log.rfind(head);
    ASSERT_NE(last, std::wstring::npos);
    EXPECT_EQ(app_text(1304), std::to_wstring(100 + wcstol(&log[last + head.size()], nullptr, 10)));
    EXPECT_EQ(program_windows(), 1);
    starts_stop();
}

} // namespace
