// Loading files that are not what they claim to be, into the real form: a directory, a file held
// open by someone else, a 100 MB file, names of 1023 characters and more, damaged files. None may
// crash or hang the load, and none may change the form unless it passes the check.
//
// A refused file opens a message box, which blocks the load until it is closed: a second thread
// finds each box by its caption, counts it and presses its button.
#include <atomic>
#include <string>
#include <vector>

#include "main_dialog_fixture.h"
#include "resources/resource_ids.h"
#include "settings/form.h"
#include "settings/settings_file.h"

namespace {

using Form = std::vector<std::u16string>;

Form form_now() {
    Form form;
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        HWND control = position_window(p);
        form.push_back(
            settings_value_kind(p) == VALUE_FLAG
                ? (SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? u"[x]" : u"[ ]")
                : window_text(control));
    }
    return form;
}

// Closes every "Ошибка открытия файла!" box as soon as it shows, and counts them.
struct BoxCloser {
    std::atomic<bool> stop{false};
    std::atomic<int> closed{0};
    HANDLE thread = nullptr;

    static DWORD WINAPI run(LPVOID arg) {
        auto* self = static_cast<BoxCloser*>(arg);
        HWND last = nullptr;
        while (!self->stop.load()) {
            HWND box = FindWindowW(L"#32770", L"Ошибка открытия файла!");
            if (box != nullptr && box != last) {
                last = box;
                self->closed.fetch_add(1);
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            } else if (box == nullptr) {
                last = nullptr;
            }
            Sleep(10);
        }
        return 0;
    }
    void start() { thread = CreateThread(nullptr, 0, run, this, 0, nullptr); }
    void finish() {
        stop.store(true);
        WaitForSingleObject(thread, 5000);
        CloseHandle(thread);
    }
};

class HostileFileTest : public MainDialogTest {
  protected:
    void SetUp() override {
        MainDialogTest::SetUp();
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder = std::wstring(temp) + L"lumivo_hostile_" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder.c_str(), nullptr);
        // A valid file of settings that differ from the defaults, then the defaults again.
        float table[SETTINGS_COUNT];
        for (int p = 0; p < SETTINGS_COUNT; ++p)
            table[p] = settings_value_kind(p) == VALUE_FLAG ? static_cast<float>(p % 2)
                                                            : static_cast<float>(3 + p);
        form_show(table, SHOW_FILE);
        valid_path = folder + L"\\valid.lv24";
        save_settings_file(valid_path.c_str());
        valid_form = form_now();
        valid = file_bytes(valid_path);
        load_defaults();
        defaults = form_now();
        closer.start();
    }
    void TearDown() override {
        closer.finish();
        MainDialogTest::TearDown();
        remove_folder();
    }

    void remove_folder() {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring path = folder + L"\\" + found.cFileName;
                if (found.cFileName[0] != L'.' && !DeleteFileW(path.c_str()))
                    RemoveDirectoryW(path.c_str());
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(folder.c_str());
    }

    // Loads `path` as the open dialog would and returns the time it took, in milliseconds.
    DWORD load(const std::wstring& path) {
        const DWORD start = GetTickCount();
        load_settings_file(path.c_str());
        return GetTickCount() - start;
    }

    std::u16string log() const { return window_text(item(IDC_STATUS_LOG)); }

    std::wstring folder, valid_path;
    std::vector<uint8_t> valid;
    Form valid_form, defaults;
    BoxCloser closer;
};

TEST_F(HostileFileTest, TheValidFileLoads) {
    ASSERT_GT(valid.size(), SETTINGS_FILE_BYTES);
    ASSERT_NE(valid_form, defaults);
    load(valid_path);
    EXPECT_EQ(form_now(), valid_form);
    EXPECT_EQ(closer.closed.load(), 0);
}

TEST_F(HostileFileTest, ADirectoryOrAFileHeldOpenByAnotherChangesNothing) {
    const std::wstring directory = folder + L"\\directory.lv24";
    ASSERT_TRUE(CreateDirectoryW(directory.c_str(), nullptr));
    load(directory);
    EXPECT_EQ(form_now(), defaults);

    HANDLE held =
        CreateFileW(valid_path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    load(valid_path);
    CloseHandle(held);
    EXPECT_EQ(form_now(), defaults);
    EXPECT_NE(log().find(u"Ошибка открытия файла"), std::u16string::npos);
}

TEST_F(HostileFileTest, AHundredMegabyteFileIsDecidedWithoutReadingItAll) {
    const std::wstring zeros = folder + L"\\zeros.lv24";
    ASSERT_TRUE(write_file(zeros, {}, 100LL << 20));
    EXPECT_LT(load(zeros), 3000u);
    EXPECT_EQ(closer.closed.load(), 1);
    EXPECT_EQ(form_now(), defaults);

    const std::wstring padded = folder + L"\\padded.lv24"; // a valid file, then 100 MB more
    ASSERT_TRUE(write_file(padded, valid, 100LL << 20));
    EXPECT_LT(load(padded), 3000u);
    EXPECT_EQ(form_now(), valid_form);
    EXPECT_EQ(closer.closed.load(), 1);
}

TEST_F(HostileFileTest, NamesOf1023CharactersAndLongerAreReportedCutShort) {
    for (size_t length : {size_t{1023}, size_t{1024}, size_t{5000}, size_t{40000}}) {
        std::wstring name = folder + L"\\";
        name.append(length - name.size(), L'n');
        load(name);
        EXPECT_EQ(form_now(), defaults) << length;
    }
    const std::u16string shown = log();
    EXPECT_NE(shown.find(u"Ошибка открытия файла"), std::u16string::npos);
    EXPECT_EQ(shown.find(std::u16string(200, u'n')), std::u16string::npos);
}

TEST_F(HostileFileTest, DamagedFilesAreRefusedWithOneBoxEach) {
    std::vector<std::vector<uint8_t>> damaged;
    for (size_t cut : {size_t{0}, size_t{1}, size_t{63}, size_t{64}, valid.size() - 1})
        damaged.emplace_back(valid.begin(), valid.begin() + static_cast<long>(cut));
    for (size_t bit : {size_t{0}, size_t{8 * 64 + 3}, size_t{8 * 500}, 8 * valid.size() - 1}) {
        damaged.push_back(valid);
        damaged.back()[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
    }
    int n = 0;
    for (const auto& bytes : damaged) {
        const std::wstring path = folder + L"\\damaged" + std::to_wstring(n++) + L".lv24";
        ASSERT_TRUE(write_file(path, bytes));
        load(path);
        EXPECT_EQ(form_now(), defaults) << "file " << n;
        EXPECT_EQ(closer.closed.load(), n) << "file " << n;
    }
}

// A command line far longer than the program keeps: cut, looked for, not found, reported.
class LongCommandLineTest : public HostileFileTest {
  protected:
    const wchar_t* command_line() override {
        static const std::wstring line(40000, L'c');
        return line.c_str();
    }
};

TEST_F(LongCommandLineTest, IsCutAndReportedAsAFileThatCannotBeOpened) {
    const std::u16string shown = log();
    EXPECT_EQ(shown.find(u"Ошибка открытия файла ccc"), 0u);
    EXPECT_EQ(form_now(), defaults);
}

} // namespace
