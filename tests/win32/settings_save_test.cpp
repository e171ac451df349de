// Saving settings over an existing file, against the real form: the old file is never rewritten
// in place. The new content is written beside it and put in its place in one step, so a hard
// link made to the old file keeps the old bytes; a save that fails leaves the old file byte for
// byte and logs the failure as before; the old file's access list and attributes stay with the
// new content; and no other file is ever left in the folder.
#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "main_dialog_fixture.h"
#include "resources/resource_ids.h"
#include "settings/file_replace.h"
#include "settings/file_replace_steps_win32.h"
#include "settings/form.h"
#include "settings/settings_file.h"

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes OLD_BYTES = {'o', 'l', 'd', 0x0D, 0x0A, 0x1A, 0x00, 'x'};

class SettingsSaveTest : public MainDialogTest {
  protected:
    void SetUp() override {
        MainDialogTest::SetUp();
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder = std::wstring(temp) + L"lumivo_save_" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder.c_str(), nullptr);
    }
    void TearDown() override {
        for (const std::wstring& name : listing()) {
            const std::wstring path = folder + L"\\" + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileW(path.c_str()))
                RemoveDirectoryW(path.c_str());
        }
        RemoveDirectoryW(folder.c_str());
        MainDialogTest::TearDown();
    }

    std::wstring in_folder(const wchar_t* name) const { return folder + L"\\" + name; }

    // Names in the folder (or in `directory`), sorted.
    std::vector<std::wstring> listing() const { return listing(folder); }
    static std::vector<std::wstring> listing(const std::wstring& directory) {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((directory + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = found.cFileName;
                if (name != L"." && name != L"..")
                    names.push_back(name);
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::u16string log() const { return window_text(item(IDC_STATUS_LOG)); }

    static std::u16string line(const char16_t* start, const std::wstring& path) {
        return start + std::u16string(path.begin(), path.end()) + u"\".\r\n";
    }

    std::wstring folder;
};

TEST_F(SettingsSaveTest, ASaveOverAFileLeavesAHardLinkToItWithTheOldBytes) {
    const std::wstring target = in_folder(L"stairs.lv24");
    const std::wstring link = in_folder(L"link.lv24");
    ASSERT_TRUE(write_file(target, OLD_BYTES));
    ASSERT_TRUE(CreateHardLinkW(link.c_str(), target.c_str(), nullptr));

    save_settings_file(target.c_str());

    EXPECT_EQ(log(), line(u"Данные записаны в файл \"", target));
    EXPECT_EQ(file_bytes(link), OLD_BYTES) << "the old file was rewritten in place";
    const Bytes saved = file_bytes(target);
    const std::string banner = "\r\r\nLumivo Lighting Works Ltd.\r\r\n";
    ASSERT_GE(saved.size(), 1054u);
    EXPECT_EQ(std::string(saved.begin(), saved.begin() + banner.size()), banner);
    EXPECT_EQ(listing(), (std::vector<std::wstring>{L"link.lv24", L"stairs.lv24"}));
}

// A field that is not one number is named in the log and nothing is saved: the old file keeps
// its bytes and the field its text. A comma value, a negative or a huge one is a number, and a
// file holds any float: those are saved, and load back as typed.
TEST_F(SettingsSaveTest, AFieldThatIsNotOneNumberIsNamedAndNothingIsSaved) {
    const std::wstring target = in_folder(L"stairs.lv24");
    const int level = channel_position(COL_OFF_START_LEVEL, 12);
    const int delay = channel_position(COL_ON_DELAY, 1);
    const struct {
        int position;
        const char16_t* text;
        const char16_t* refused; // the line; nullptr: saved
        const char16_t* loaded;  // saved: what the field shows when the file is loaded back
    } rows[] = {
        {level, u"abc",
         u"Файл не записан: Лестница 12, «Нач. ярк. выкл., %»: «abc» — не число.\r\n", nullptr},
        {level, u"12,5", nullptr, u"12.5"},
        {delay, u"1e30", nullptr, u"1000000015047466200000000000000"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::u16string(row.text)));
        ASSERT_TRUE(write_file(target, OLD_BYTES));
        load_defaults();
        set_window_text(position_window(row.position), row.text);
        app.ui->log[0] = 0;
        save_settings_file(target.c_str());
        if (row.refused != nullptr) {
            EXPECT_EQ(log(), row.refused);
            EXPECT_EQ(file_bytes(target), OLD_BYTES);
            EXPECT_EQ(window_text(position_window(row.position)), row.text);
            continue;
        }
        EXPECT_EQ(log(), line(u"Данные записаны в файл \"", target));
        set_window_text(position_window(row.position), u"0");
        load_settings_file(target.c_str());
        EXPECT_EQ(window_text(position_window(row.position)), row.loaded);
    }
    EXPECT_EQ(listing(), std::vector<std::wstring>{L"stairs.lv24"});
}

// A target just under the old path length limit, as a deep folder gives it: the new file beside
// it has a longer name, past the limit, and the save still succeeds and leaves nothing behind.
TEST_F(SettingsSaveTest, ASaveNearThePathLengthLimitSucceeds) {
    const size_t target_units = 255;
    const std::wstring deep = in_folder(L"") + std::wstring(target_units - folder.size() - 8, L'd');
    const std::wstring target = deep + L"\\a.lv24";
    ASSERT_EQ(target.size(), target_units);
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    ASSERT_TRUE(write_file(target, OLD_BYTES));

    save_settings_file(target.c_str());

    // The log line is cut to 99 units in the path, as every long one is: the folder too long to
    // stand beside the file name gives way to "…".
    const std::wstring start = in_folder(L"");
    EXPECT_EQ(log(), u"Данные записаны в файл \"" + std::u16string(start.begin(), start.end()) +
                         u"…\\a.lv24\".\r\n");
    EXPECT_GE(file_bytes(target).size(), 1054u);
    EXPECT_EQ(listing(deep), std::vector<std::wstring>{L"a.lv24"});
    DeleteFileW(target.c_str());
    RemoveDirectoryW(deep.c_str());
}

// The system's own text of a file's access list, and its attributes.
std::wstring access_list(const std::wstring& path) {
    DWORD needed = 0;
    GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    std::vector<uint8_t> security(needed);
    LPWSTR text = nullptr;
    if (needed == 0 ||
        !GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, security.data(), needed,
                          &needed) ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorW(
            security.data(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr))
        return L"(none)";
    const std::wstring result = text;
    LocalFree(text);
    return result;
}

// A file on a shared folder whose access list someone set, and hidden: the save gives the new
// content the old file's access list and attributes, as the system reports them.
TEST_F(SettingsSaveTest, ASaveOverAFileKeepsItsAccessListAndAttributes) {
    const std::wstring target = in_folder(L"shared.lv24");
    ASSERT_TRUE(write_file(target, OLD_BYTES));
    PSECURITY_DESCRIPTOR everyone = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;;FA;;;WD)(A;;FA;;;SY)", SDDL_REVISION_1, &everyone, nullptr));
    ASSERT_TRUE(SetFileSecurityW(target.c_str(), DACL_SECURITY_INFORMATION, everyone));
    LocalFree(everyone);
    ASSERT_TRUE(SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    const std::wstring list = access_list(target);

    save_settings_file(target.c_str());

    EXPECT_EQ(log(), line(u"Данные записаны в файл \"", target));
    EXPECT_GE(file_bytes(target).size(), 1054u);
    EXPECT_EQ(access_list(target), list);
    EXPECT_EQ(GetFileAttributesW(target.c_str()),
              DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE});
    EXPECT_EQ(listing(), std::vector<std::wstring>{L"shared.lv24"});
}

// A target that cannot be replaced: read-only, held open by another without sharing, or a
// folder. Each save fails with today's log line, and nothing else in the folder changes.
TEST_F(SettingsSaveTest, AFailedSaveKeepsTheOldFileAndLeavesNothingBehind) {
    const std::wstring read_only = in_folder(L"read-only.lv24");
    const std::wstring held = in_folder(L"held.lv24");
    const std::wstring directory = in_folder(L"directory.lv24");
    ASSERT_TRUE(write_file(read_only, OLD_BYTES));
    ASSERT_TRUE(SetFileAttributesW(read_only.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(write_file(held, OLD_BYTES));
    ASSERT_TRUE(CreateDirectoryW(directory.c_str(), nullptr));
    HANDLE holder = CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const std::vector<std::wstring> before = listing();

    std::u16string expected;
    for (const std::wstring& target : {read_only, held, directory}) {
        save_settings_file(target.c_str());
        expected += line(u"Ошибка записи в файл \"", target);
        EXPECT_EQ(log(), expected);
        EXPECT_EQ(listing(), before) << "a file was left behind";
    }
    // The same failures as the command-line tool sees them.
    const uint8_t bytes[3] = {1, 2, 3};
    EXPECT_EQ(file_replace_write(read_only.c_str(), bytes, 3), FILE_PUT_REPLACE_FAILED);
    EXPECT_EQ(file_replace_write(held.c_str(), bytes, 3), FILE_PUT_REPLACE_FAILED);
    EXPECT_EQ(file_replace_write(in_folder(L"missing\\x.lv24").c_str(), bytes, 3),
              FILE_PUT_CREATE_FAILED);
    CloseHandle(holder);
    // A file that must be new never takes an existing name, and a replacement called off once
    // written changes nothing.
    EXPECT_EQ(file_replace_create(held.c_str(), bytes, 3), FILE_PUT_EXISTS);
    EXPECT_EQ(file_replace_write(held.c_str(), bytes, 3, [] { return false; }), FILE_PUT_CANCELLED);
    EXPECT_EQ(file_bytes(read_only), OLD_BYTES);
    EXPECT_EQ(file_bytes(held), OLD_BYTES);
    EXPECT_EQ(listing(), before);
    EXPECT_EQ(file_replace_create(in_folder(L"new.lv24").c_str(), bytes, 3), FILE_PUT_DONE);
    EXPECT_EQ(file_bytes(in_folder(L"new.lv24")), Bytes(bytes, bytes + 3));
}

// ---- a replacement's steps failing one by one ----

// How the steps of one replacement fail: the new file cannot take the name after the old one has
// moved to its backup name (ReplaceFileW's ERROR_UNABLE_TO_MOVE_REPLACEMENT_2), and how many
// times moving the old file back, moving the new one in and removing the backup are refused (as
// when another program holds the file open without sharing).
struct StepFaults {
    bool name_left_empty;
    int old_moves_refused, new_moves_refused, removals_refused;
};

StepFaults faults;
FileReplaceSteps system_steps;

// True, as a step refused for sharing, while `count` is above zero; counts it down. (The backup's
// name ends in "-old".)
bool refused(int* count) {
    if (*count <= 0)
        return false;
    --*count;
    SetLastError(ERROR_SHARING_VIOLATION);
    return true;
}

class ReplaceStepsTest : public SettingsSaveTest {
  protected:
    void SetUp() override {
        SettingsSaveTest::SetUp();
        system_steps = file_replace_steps;
        file_replace_steps.replace = [](LPCWSTR target, LPCWSTR replacement, LPCWSTR backup,
                                        DWORD flags, LPVOID exclude, LPVOID reserved) -> BOOL {
            if (faults.name_left_empty) {
                system_steps.move(target, backup, 0);
                SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
                return FALSE;
            }
            return system_steps.replace(target, replacement, backup, flags, exclude, reserved);
        };
        file_replace_steps.move = [](LPCWSTR from, LPCWSTR to, DWORD flags) -> BOOL {
            return !refused(wcsstr(from, L"-old") ? &faults.old_moves_refused
                                                  : &faults.new_moves_refused) &&
                   system_steps.move(from, to, flags);
        };
        file_replace_steps.remove = [](LPCWSTR path) -> BOOL {
            return !(wcsstr(path, L"-old") && refused(&faults.removals_refused)) &&
                   system_steps.remove(path);
        };
    }
    void TearDown() override {
        file_replace_steps = system_steps;
        SettingsSaveTest::TearDown();
    }
};

const Bytes NEW_BYTES = {'n', 'e', 'w', 0x0D, 0x0A};

// Whatever step fails, the name holds the old content or the new one and no other file is
// left; only when neither can be put back under the name does the old content wait under its
// backup name, the user's last copy of it. A backup refused for good is removed by the next
// replacement or the close once it is let go.
TEST_F(ReplaceStepsTest, EveryFailedStepLeavesTheOldOrTheNewContentUnderTheName) {
    const struct {
        const char* what;
        StepFaults faults;
        FilePutResult result;
        const Bytes* under_name; // nullptr: nothing
        size_t files;
    } rows[] = {
        {"the old file goes back", {true, 0, 0, 0}, FILE_PUT_REPLACE_FAILED, &OLD_BYTES, 1},
        {"...on a later try", {true, 2, 0, 0}, FILE_PUT_REPLACE_FAILED, &OLD_BYTES, 1},
        {"the new one takes the name", {true, 99, 0, 0}, FILE_PUT_DONE, &NEW_BYTES, 1},
        {"neither can move", {true, 99, 99, 0}, FILE_PUT_REPLACE_FAILED, nullptr, 1},
        {"the backup removed on a later try", {false, 0, 0, 3}, FILE_PUT_DONE, &NEW_BYTES, 1},
        {"the backup held open", {false, 0, 0, 99}, FILE_PUT_DONE, &NEW_BYTES, 2},
    };
    const std::wstring target = in_folder(L"stairs.lv24");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_TRUE(write_file(target, OLD_BYTES));
        faults = row.faults;
        EXPECT_EQ(file_replace_write(target.c_str(), NEW_BYTES.data(), NEW_BYTES.size()),
                  row.result);
        EXPECT_EQ(file_bytes(target), row.under_name ? *row.under_name : Bytes{});
        std::vector<std::wstring> names = listing();
        ASSERT_EQ(names.size(), row.files) << testing::PrintToString(names);
        if (row.under_name == nullptr) {
            EXPECT_NE(wcsstr(names[0].c_str(), L"-old"), nullptr);
            EXPECT_EQ(file_bytes(in_folder(names[0].c_str())), OLD_BYTES);
            DeleteFileW(in_folder(names[0].c_str()).c_str());
        }
        if (row.files == 2) {
            faults.removals_refused = 0;
            file_replace_tidy();
            EXPECT_EQ(listing(), std::vector<std::wstring>{L"stairs.lv24"});
        }
    }
}

// New content carries the archive mark and not the offline one; of the old file's marks it keeps
// hidden, system and the indexing one. (Under Wine every file has the archive mark, none the
// offline one.)
TEST_F(SettingsSaveTest, ANewContentIsMarkedForArchivingAndKeepsTheOldFilesMarks) {
    const DWORD H = FILE_ATTRIBUTE_HIDDEN, S = FILE_ATTRIBUTE_SYSTEM, A = FILE_ATTRIBUTE_ARCHIVE;
    const DWORD rows[][2] = {{H, H | A},
                             {S | A, S | A},
                             {FILE_ATTRIBUTE_OFFLINE | H, H | A},
                             {FILE_ATTRIBUTE_NORMAL, A}};
    const std::wstring target = in_folder(L"marks.lv24");
    for (const auto& row : rows) {
        ASSERT_TRUE(write_file(target, OLD_BYTES));
        ASSERT_TRUE(SetFileAttributesW(target.c_str(), row[0]));
        EXPECT_EQ(file_replace_write(target.c_str(), NEW_BYTES.data(), NEW_BYTES.size()),
                  FILE_PUT_DONE);
        EXPECT_EQ(GetFileAttributesW(target.c_str()), row[1]) << row[0];
        SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

} // namespace
