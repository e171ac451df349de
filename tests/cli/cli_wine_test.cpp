// lumivo24-cli.exe under Wine, through COM ports: it finds the controller among COM1 (no device
// behind it), COM5 (the emulator) and COM7 (a silent emulator) by itself, saves the controller's
// settings to a file with a Cyrillic name that is byte for byte the file the window program saves
// after reading the same controller, and writes that file back with its verification. It takes
// exactly the settings files the window program takes, and refuses to save over what is not a
// writable file.
#include <gtest/gtest.h>

#include <windows.h>

#include <setupapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "driver.h"
#include "tests/support/test_support.h"

namespace {

struct ToolRun {
    DWORD exit_code;
    std::string out; // UTF-8
    std::string err;
};

std::wstring tool_path() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self);
    path.resize(path.find_last_of(L'\\')); // build/windows/tests/cli
    return path + L"\\..\\..\\cli\\lumivo24-cli.exe";
}

HANDLE inheritable_file(const std::wstring& path) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0,
                       nullptr);
}

// Runs a command line, its output going to files (a pipe would keep Wine's helper processes
// waiting on it): its standard output to `out_path` when one is given.
ToolRun run_line(std::wstring line, std::wstring out_path = L"") {
    if (out_path.empty()) {
        out_path = test_folder() + L"\\tool.out";
    }
    const std::wstring err_path = test_folder() + L"\\tool.err";
    HANDLE out = inheritable_file(out_path);
    HANDLE err = inheritable_file(err_path);
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    start.hStdOutput = out;
    start.hStdError = err;
    PROCESS_INFORMATION process{};
    ToolRun run{99, "", ""};
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start,
                       &process)) {
        WaitForSingleObject(process.hProcess, 60000);
        GetExitCodeProcess(process.hProcess, &run.exit_code);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(out);
    CloseHandle(err);
    const std::vector<uint8_t> o = file_bytes(out_path);
    const std::vector<uint8_t> e = file_bytes(err_path);
    run.out.assign(o.begin(), o.end());
    run.err.assign(e.begin(), e.end());
    return run;
}

// Runs the tool with `arguments`.
ToolRun run_tool(const std::wstring& arguments, std::wstring out_path = L"") {
    return run_line(L"\"" + tool_path() + L"\" " + arguments, out_path);
}

std::wstring wide_of(const std::string& utf8) {
    std::wstring wide(utf8.size() + 1, L'\0');
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                      wide.data(), static_cast<int>(wide.size()));
    wide.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return wide;
}

std::vector<uint8_t> from_hex(const std::string& hex) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::string to_hex(const std::vector<uint8_t>& bytes) {
    std::string hex;
    char two[3];
    for (uint8_t b : bytes) {
        snprintf(two, sizeof two, "%02x", b);
        hex += two;
    }
    return hex;
}

void put(std::vector<uint8_t>* image, size_t at, uint32_t value, size_t width) {
    for (size_t i = 0; i < width; ++i) {
        (*image)[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

// The controller's stored payload.
std::vector<uint8_t> stored_settings() {
    const std::string reply = emu("get settings");
    return reply.rfind("ok ", 0) == 0 ? from_hex(reply.substr(3)) : std::vector<uint8_t>();
}

// The window's verdict on a settings file named on its command line: it loads the file, or it
// shows its file error box before its window.
bool window_loads(const std::wstring& path) {
    if (!app_launch((L"\"" + path + L"\"").c_str())) {
        return false;
    }
    HWND box = nullptr;
    wait_until(
        [&] {
            box = app_modal(L"Ошибка открытия файла!", L"#32770", 0);
            return box != nullptr || app_wait_window(0);
        },
        15000);
    if (box != nullptr) {
        dialog_press(box, IDOK);
        app_wait_window();
    }
    const std::wstring loaded = L"Данные прочитаны из файла \"" + path + L"\".\r\n";
    const bool loads =
        box == nullptr && wait_until([&] { return app_log_contains(loaded.c_str()); }, 5000);
    app_stop();
    return loads;
}

bool window_reads_and_saves(const std::wstring& path) {
    if (!app_start() ||
        !wait_until([] { return app_log_contains(L"Контроллер подключен."); }, 30000)) {
        return false;
    }
    app_click(16);
    if (!wait_until([] { return app_log_contains(L"Данные прочитаны из контроллера."); }, 10000)) {
        return false;
    }
    app_click_async(13);
    HWND dialog = app_modal(nullptr);
    const bool saved =
        dialog != nullptr && file_dialog_choose(dialog, path.c_str()) &&
        wait_until([] { return app_log_contains(L"Данные записаны в файл"); }, 10000);
    app_stop();
    return saved;
}

// Opens COM5 as another program would and, when `baud` is not 0, sets that speed with XON/XOFF,
// 7 data bits and even parity (`odd`) or with none of them and 8 data bits; *state receives the
// port's settings as they then are.
bool com5_line(DWORD baud, bool odd, DCB* state) {
    HANDLE port = CreateFileW(L"\\\\.\\COM5", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        return false;
    }
    *state = DCB{};
    state->DCBlength = sizeof(DCB);
    bool done = GetCommState(port, state) != 0;
    if (done && baud != 0) {
        state->fOutX = state->fInX = odd ? 1 : 0;
        state->BaudRate = baud;
        state->ByteSize = odd ? 7 : 8;
        state->Parity = odd ? EVENPARITY : NOPARITY;
        done = SetCommState(port, state) != 0 && GetCommState(port, state) != 0;
    }
    CloseHandle(port);
    return done;
}

// A device manager entry for COM5 as a port driver makes one: a device of the Ports class whose
// device key keeps the port's name, with a friendly name. Removed again by remove_port_device.
struct PortDevice {
    HDEVINFO set;
    SP_DEVINFO_DATA info;
};

bool add_port_device(const wchar_t* friendly, PortDevice* device) {
    static const GUID PORTS = {
        0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
    device->set = SetupDiCreateDeviceInfoList(&PORTS, nullptr);
    device->info = SP_DEVINFO_DATA{};
    device->info.cbSize = sizeof device->info;
    if (device->set == INVALID_HANDLE_VALUE ||
        !SetupDiCreateDeviceInfoW(device->set, L"LUMIVOTEST", &PORTS, nullptr, nullptr,
                                  DICD_GENERATE_ID, &device->info) ||
        !SetupDiRegisterDeviceInfo(device->set, &device->info, 0, nullptr, nullptr, nullptr)) {
        return false;
    }
    const BYTE* name = reinterpret_cast<const BYTE*>(friendly);
    const DWORD bytes = static_cast<DWORD>((wcslen(friendly) + 1) * sizeof(wchar_t));
    HKEY key = SetupDiCreateDevRegKeyW(device->set, &device->info, DICS_FLAG_GLOBAL, 0, DIREG_DEV,
                                       nullptr, nullptr);
    if (key == INVALID_HANDLE_VALUE) {
        return false;
    }
    const wchar_t port[] = L"COM5";
    const bool kept = RegSetValueExW(key, L"PortName", 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(port), sizeof port) == 0;
    RegCloseKey(key);
    return kept && SetupDiSetDeviceRegistryPropertyW(device->set, &device->info, SPDRP_FRIENDLYNAME,
                                                     name, bytes);
}

void remove_port_device(PortDevice* device) {
    SetupDiRemoveDevice(device->set, &device->info);
    SetupDiDestroyDeviceInfoList(device->set);
}

} // namespace

// Another program left XON/XOFF on, at 9600 baud (and asked for 7 data bits and even parity,
// which Wine's port on a pseudo-terminal does not keep): the settings answer's bytes 0x11 and
// 0x13 vanish unless the tool turns XON/XOFF off while it uses the port (the window program
// leaves it as it is), and the tool gives the port back as it found it.
TEST(CliUnderWine, TurnsSoftwareFlowControlOffAndGivesThePortBackAsItWas) {
    std::vector<uint8_t> image = stored_settings();
    ASSERT_EQ(image.size(), 643u);
    put(&image, 13, 0x1311, 4); // channel 1 switches on after 4881 ms: bytes 11 13 00 00
    put(&image, 641, reference_crc16(image.data(), 641), 2);
    ASSERT_TRUE(emu_ok(("set settings " + to_hex(image)).c_str()));
    DCB left{};
    DCB after{};
    DCB line{};
    const bool set = com5_line(9600, true, &left);
    ToolRun show = run_tool(L"show device --port COM5 --json");
    const bool read = com5_line(0, false, &after);
    ASSERT_TRUE(com5_line(115200, false, &line)); // the controller's line for the tests below
    ASSERT_TRUE(set && read && left.fOutX && left.fInX && left.BaudRate == 9600) << left.BaudRate;
    ASSERT_EQ(show.exit_code, 0u) << show.err;
    EXPECT_NE(show.out.find("\"on_delay_ms\": 4881,"), std::string::npos) << show.out;
    const auto fields = [](const DCB& d) {
        return std::vector<DWORD>{d.BaudRate,    d.ByteSize,   d.Parity,       d.StopBits,
                                  d.fOutX,       d.fInX,       d.fOutxDsrFlow, d.fOutxCtsFlow,
                                  d.fRtsControl, d.fDtrControl};
    };
    EXPECT_EQ(fields(after), fields(left)) << "speed, bits, parity, stop bits, flow controls";

    // The port list carries the device manager's name, where the system has one.
    PortDevice device{};
    ASSERT_TRUE(add_port_device(L"Последовательный порт (COM5)", &device));
    ToolRun ports = run_tool(L"ports --json");
    remove_port_device(&device);
    EXPECT_NE(ports.out.find("\"friendly_name\": \"Последовательный порт (COM5)\""),
              std::string::npos)
        << ports.out;
}

TEST(CliUnderWine, FindsTheControllerSavesTheWindowsFileAndWritesItBack) {
    // A staircase's settings: sensor 1 up to 120 cm, a 30 % threshold (stored as 2867, read back
    // as 30.0048828125, shown and saved as 30), channel 3 switching on after 2208 ms (a float
    // with a 0x0A byte), the last channel's standby on, which no file holds.
    std::vector<uint8_t> image = stored_settings();
    ASSERT_EQ(image.size(), 643u);
    put(&image, 2, 120, 2);
    put(&image, 8, 2867, 2);
    put(&image, 13 + 26 * 2, 2208, 4);
    put(&image, 637, 0x00D55555, 4);
    put(&image, 641, reference_crc16(image.data(), 641), 2);
    ASSERT_TRUE(emu_ok(("set settings " + to_hex(image)).c_str()));

    const std::wstring window_file = test_folder() + L"\\window.lv24";
    ASSERT_TRUE(window_reads_and_saves(window_file)) << "the window did not save its file";

    const std::wstring tool_file = test_folder() + L"\\Лестница ёЁ.lv24";
    ToolRun read = run_tool(L"read --output \"" + tool_file + L"\"");
    ASSERT_EQ(read.exit_code, 0u) << read.err;
    EXPECT_NE(read.err.find("Found the controller on COM5."), std::string::npos) << read.err;
    const std::vector<uint8_t> saved = file_bytes(tool_file);
    EXPECT_EQ(saved.size(), 1055u);
    EXPECT_EQ(saved, file_bytes(window_file)) << "the tool's file is not the window's";

    // Back to a controller with the factory settings: the file's values go in, and the last
    // channel's standby flag stays the controller's own (off).
    ASSERT_TRUE(emu_ok("defaults"));
    emu("clear-requests");
    ToolRun write = run_tool(L"write --port COM5 \"" + tool_file + L"\"");
    ASSERT_EQ(write.exit_code, 0u) << write.err;
    std::vector<uint8_t> expected = image;
    put(&expected, 637, 0x00555555, 4);
    put(&expected, 641, reference_crc16(expected.data(), 641), 2);
    EXPECT_EQ(stored_settings(), expected) << "the controller does not hold the file's settings";
    EXPECT_EQ(emu_requests("write"), 1);
    EXPECT_EQ(emu_requests("read"), 2); // the settings before the write, and the verification
}

TEST(CliUnderWine, TakesExactlyTheSettingsFilesTheWindowTakes) {
    const std::wstring good = test_folder() + L"\\good.lv24";
    ToolRun read = run_tool(L"read --port COM5 --output \"" + good + L"\"");
    ASSERT_EQ(read.exit_code, 0u) << read.err;
    // A copy through dos2unix: every CR LF made LF, which leaves exactly the 1050-byte content.
    const std::vector<uint8_t> bytes = file_bytes(good);
    std::vector<uint8_t> unix_ends;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (!(bytes[i] == 0x0D && i + 1 < bytes.size() && bytes[i + 1] == 0x0A)) {
            unix_ends.push_back(bytes[i]);
        }
    }
    ASSERT_EQ(unix_ends.size(), 1050u);
    const std::wstring dos2unix = test_folder() + L"\\dos2unix.lv24";
    write_file(dos2unix, unix_ends);

    struct Case {
        std::wstring path;
        bool loads;       // as the window was seen to decide
        const char* said; // in the tool's sentence
    };
    for (const Case& c : {Case{good, true, ""}, Case{dos2unix, false, "line ends were changed"}}) {
        EXPECT_EQ(window_loads(c.path), c.loads) << testing::PrintToString(c.path);
        const ToolRun show = run_tool(L"show \"" + c.path + L"\"");
        EXPECT_EQ(show.exit_code, c.loads ? 0u : 4u) << show.err;
        EXPECT_NE(show.err.find(c.said), std::string::npos) << show.err;
    }
}

TEST(CliUnderWine, SavesOnlyOverAWritableFileAndUnderTheLongestName) {
    const std::wstring folder = test_folder() + L"\\folder.lv24";
    const std::wstring read_only = test_folder() + L"\\read-only.lv24";
    const std::wstring longest = test_folder() + L"\\" + std::wstring(250, L'n') + L".lv24";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    write_file(read_only, {'r', 'o'});
    ASSERT_TRUE(SetFileAttributesW(read_only.c_str(), FILE_ATTRIBUTE_READONLY));
    const std::wstring linked = test_folder() + L"\\linked.lv24";
    write_file(linked, {'o', 'l', 'd'});
    ASSERT_TRUE(
        CreateHardLinkW((test_folder() + L"\\other name.lv24").c_str(), linked.c_str(), nullptr));
    struct Case {
        std::wstring target;
        DWORD exit_code;
        const char* said;
    };
    for (const Case& c : {Case{folder, 4, "it is a folder"}, Case{read_only, 4, "read-only"},
                          Case{L"NUL", 4, "device"}, Case{linked, 4, "it has 2 names (hard links)"},
                          Case{longest, 0, "Saved"}}) {
        const ToolRun read = run_tool(L"read --port COM5 --output \"" + c.target + L"\"");
        EXPECT_EQ(read.exit_code, c.exit_code) << read.err;
        EXPECT_NE(read.err.find(c.said), std::string::npos) << read.err;
    }
    EXPECT_EQ(file_bytes(read_only), (std::vector<uint8_t>{'r', 'o'}));
    EXPECT_EQ(file_bytes(test_folder() + L"\\other name.lv24"),
              (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(file_bytes(longest).size(), 1055u);
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((test_folder() + L"\\.~lv24*").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE) << "a temporary file was left behind";
    FindClose(search);

    // Results that cannot be written are a failure.
    const ToolRun full = run_tool(L"show defaults --json", L"Z:\\dev\\full");
    EXPECT_EQ(full.exit_code, 4u) << full.err;
}

// The configurator under Windows: set on the controller with a sequence, its backup in the
// user's local application data, JSON out and in, a factory reset, and a counted watch.
TEST(CliUnderWine, SetsValuesBacksUpAndTakesJson) {
    ASSERT_TRUE(SetEnvironmentVariableW(L"LOCALAPPDATA", test_folder().c_str()));
    ASSERT_TRUE(emu_ok("defaults"));
    const std::vector<uint8_t> factory = stored_settings();
    ASSERT_EQ(factory.size(), 643u);

    ToolRun set = run_tool(L"set device --port COM5 ch1-15.on_delay_ms=0+150 off_timer_s=240");
    ASSERT_EQ(set.exit_code, 0u) << set.err;
    std::vector<uint8_t> expected = factory;
    put(&expected, 10, 240, 2);
    for (uint32_t k = 0; k < 15; ++k) {
        put(&expected, 13 + 26 * k, 150 * k, 4);
    }
    put(&expected, 641, reference_crc16(expected.data(), 641), 2);
    EXPECT_EQ(stored_settings(), expected);

    WIN32_FIND_DATAW found{};
    const std::wstring backups = test_folder() + L"\\LUMIVO24\\backups\\";
    HANDLE search = FindFirstFileW((backups + L"*-COM5.lv24").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE) << set.err;
    FindClose(search);
    ToolRun undo =
        run_tool(L"write --port COM5 --no-backup \"" + backups + found.cFileName + L"\"");
    ASSERT_EQ(undo.exit_code, 0u) << undo.err;
    EXPECT_EQ(stored_settings(), factory) << "the backup did not undo the change";

    const std::wstring json = test_folder() + L"\\stairs.json";
    EXPECT_EQ(run_tool(L"convert device --port COM5 -o \"" + json + L"\"").exit_code, 0u);
    EXPECT_EQ(run_tool(L"set \"" + json + L"\" ch2.rise_time_ms=300").exit_code, 0u);
    ToolRun write = run_tool(L"write --port COM5 --no-backup \"" + json + L"\"");
    ASSERT_EQ(write.exit_code, 0u) << write.err;
    expected = factory;
    put(&expected, 13 + 26 + 8, 300, 4);
    put(&expected, 641, reference_crc16(expected.data(), 641), 2);
    EXPECT_EQ(stored_settings(), expected);
    EXPECT_EQ(run_tool(L"write defaults --port COM5 --no-backup").exit_code, 0u);
    EXPECT_EQ(stored_settings(), factory);

    ToolRun watch = run_tool(L"status --port COM5 --count 2 --json -v");
    ASSERT_EQ(watch.exit_code, 0u) << watch.err;
    EXPECT_NE(watch.out.find("\"time\":0.0"), std::string::npos) << watch.out;
    EXPECT_NE(watch.err.find(" COM5 >> 02 00 06 00 0E C3"), std::string::npos) << watch.err;
}

// The wave of the controller's settings from lumivo24-cli.exe: the chart asked for on a file, its
// block characters as UTF-8 (a console gets them as UTF-16 through WriteConsoleW; the chart's
// text: the unit tests of the timeline).
TEST(CliUnderWine, DrawsTheWave) {
    ASSERT_TRUE(emu_ok("defaults"));
    const ToolRun chart = run_tool(L"timeline device --port COM5 --chart");
    ASSERT_EQ(chart.exit_code, 0u) << chart.err;
    EXPECT_NE(chart.out.find("\n 24      ··░░░░░▒▒▒▒▒▒▒▓▓▓▓▓▓▓████████  │  ████"),
              std::string::npos)
        << chart.out;
}

// What the tool says is true under Windows too: values the controller cannot hold go nowhere,
// a dry run on another board revision lists the changes, a wrong word is named.
TEST(CliUnderWine, RefusesWhatCannotBeDoneAndSaysWhy) {
    ASSERT_TRUE(emu_ok("defaults"));
    const std::vector<uint8_t> factory = stored_settings();
    ASSERT_EQ(factory.size(), 643u);
    std::vector<uint8_t> factory_changed = factory; // the off timer at 240 s
    put(&factory_changed, 10, 240, 2);
    put(&factory_changed, 641, reference_crc16(factory_changed.data(), 641), 2);
    const ToolRun defaults = run_tool(L"show defaults --json");
    ASSERT_EQ(defaults.exit_code, 0u);
    std::string odd = defaults.out;
    const size_t timer = odd.find("\"off_timer_s\": 180");
    ASSERT_NE(timer, std::string::npos) << odd;
    odd.replace(timer, 18, "\"off_timer_s\": -2");
    const std::wstring odd_path = test_folder() + L"\\odd.json";
    write_file(odd_path, std::vector<uint8_t>(odd.begin(), odd.end()));
    emu("clear-requests");
    const ToolRun refused = run_tool(L"write --port COM5 \"" + odd_path + L"\"");
    EXPECT_EQ(refused.exit_code, 4u);
    EXPECT_NE(refused.err.find("off_timer_s: -2 (it holds 0 to 65535 s)"), std::string::npos)
        << refused.err;
    EXPECT_EQ(emu_requests("identify"), 0);

    ASSERT_TRUE(emu_ok("set version 4.000"));
    const ToolRun dry = run_tool(L"set device --port COM5 off_timer_s=240 --dry-run");
    ASSERT_TRUE(emu_ok("set version 5.000"));
    EXPECT_EQ(dry.exit_code, 0u) << dry.err;
    EXPECT_NE(dry.out.find("off_timer_s: 180 -> 240"), std::string::npos) << dry.out;
    EXPECT_NE(dry.err.find("would need --force"), std::string::npos) << dry.err;
    EXPECT_EQ(emu_requests("write"), 0);

    // A pause of 400 ms in the middle of every answer is waited through; a write that is not
    // answered may have reached the controller, and the tool says so and how to look.
    ASSERT_TRUE(emu_ok("split 2 400"));
    const ToolRun paused = run_tool(L"show device --port COM5 --json");
    ASSERT_TRUE(emu_ok("split 1 0"));
    EXPECT_EQ(paused.exit_code, 0u) << paused.err;
    ASSERT_TRUE(emu_ok(("set settings " + to_hex(factory_changed)).c_str()));
    ASSERT_TRUE(emu_ok("truncate write 0"));
    const ToolRun unanswered = run_tool(L"write defaults --port COM5 --no-backup");
    ASSERT_TRUE(emu_ok("truncate write off"));
    EXPECT_EQ(unanswered.exit_code, 3u) << unanswered.err;
    EXPECT_NE(unanswered.err.find("did not answer the settings write: it may already hold the "
                                  "settings sent. Check with: lumivo24-cli diff device defaults "
                                  "--port COM5"),
              std::string::npos)
        << unanswered.err;
    EXPECT_EQ(stored_settings(), factory) << "the controller did not take the write";

    // A device is refused at once, never read: reading CON would wait for the console.
    for (const wchar_t* device : {L"NUL", L"CON", L"COM5"}) {
        const ToolRun show = run_tool(std::wstring(L"show ") + device);
        EXPECT_EQ(show.exit_code, 4u) << show.err;
        EXPECT_NE(show.err.find("it is a device, not a file"), std::string::npos) << show.err;
    }

    // The help's example is cmd's (^ continues a line, rem comments), its stops Windows' own.
    const ToolRun help = run_tool(L"--help");
    EXPECT_EQ(help.exit_code, 0u);
    for (const char* said : {"  rem Steps 1-15 light up", "ch15-1.off_delay_ms=0+150 ^\n",
                             "=500 ^\n", "130 Ctrl+C,\n131 Ctrl+Break, 129 console closed."}) {
        EXPECT_NE(help.out.find(said), std::string::npos) << said << "\n" << help.out;
    }
    EXPECT_EQ(help.out.find_first_of("#\\"), std::string::npos) << help.out;

    const ToolRun bogus = run_tool(L"bogus");
    EXPECT_EQ(bogus.exit_code, 2u);
    EXPECT_NE(bogus.err.find("'bogus' is not a command"), std::string::npos) << bogus.err;
    EXPECT_EQ(run_tool(L"-V").out.rfind("lumivo24-cli 1.", 0), 0u);
}

// The command that puts a backup back, printed with the path quoted for cmd, runs as it stands
// from a user folder with a space and Cyrillic letters in its name, and restores.
TEST(CliUnderWine, ThePrintedRestoreCommandRunsInCmd) {
    const std::wstring user = test_folder() + L"\\Иван Петров";
    ASSERT_TRUE(CreateDirectoryW(user.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    ASSERT_TRUE(SetEnvironmentVariableW(L"LOCALAPPDATA", user.c_str()));
    ASSERT_TRUE(emu_ok("defaults"));
    const std::vector<uint8_t> factory = stored_settings();
    ASSERT_EQ(factory.size(), 643u);
    const ToolRun set = run_tool(L"set device --port COM5 off_timer_s=240");
    ASSERT_EQ(set.exit_code, 0u) << set.err;
    const std::string said = "To put them back: ";
    const size_t at = set.err.find(said);
    ASSERT_NE(at, std::string::npos) << set.err;
    const size_t from = at + said.size();
    const std::string line = set.err.substr(from, set.err.find_first_of("\r\n", from) - from);
    EXPECT_EQ(line.rfind("lumivo24-cli write \"", 0), 0u) << line; // the path quoted for cmd
    const std::string port = " --port COM5"; // the port given: the command needs no other
    EXPECT_EQ(line.substr(line.size() - std::min(line.size(), port.size())), port) << line;

    std::wstring folder = tool_path();
    folder.resize(folder.find_last_of(L'\\'));
    wchar_t path[32767];
    const DWORD n = GetEnvironmentVariableW(L"PATH", path, 32767);
    ASSERT_TRUE(SetEnvironmentVariableW(L"PATH", (folder + L";" + std::wstring(path, n)).c_str()));
    const ToolRun undo = run_line(L"cmd.exe /c " + wide_of(line));
    SetEnvironmentVariableW(L"PATH", std::wstring(path, n).c_str());
    ASSERT_EQ(undo.exit_code, 0u) << line << "\n" << undo.err;
    EXPECT_EQ(stored_settings(), factory) << "the printed command did not restore";
}
