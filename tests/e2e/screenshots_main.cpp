// For scripts/screenshots on a virtual display: brings the program into each state that the
// user guide shows and lets the script photograph the screen.
//
//   lumivo_screenshots states FOLDER   no controller (the emulator silent) and a locked form;
//                                      connected with live readings; a failed distance sensor;
//                                      after reading the controller's settings; the message of
//                                      a damaged file in the user's documents
//   lumivo_screenshots connected FOLDER   connected with live readings only
//
// For each picture it writes FOLDER\<name>.ready and waits for the script to write
// FOLDER\<name>.done. The program is started from LUMIVO_EXE and the emulator is reached through
// LUMIVO_EMU_CONTROL, as in the end-to-end tests; the emulator starts silent for "states".
#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

#include "driver.h"
#include "hex_text.h"
#include "link/wire_image.h"
#include "log_lines.h"
#include "packaging/factory_defaults.h"
#include "settings/settings_file_format.h"

namespace {

std::wstring folder;

bool file_exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Asks the script for a picture of the screen as it is now and waits until it is taken. `crop`,
// when given, is the part of the window to keep ("WxH+X+Y" from the window's top left corner).
bool picture(const wchar_t* name, const std::string& crop = "") {
    Sleep(500); // let the window finish drawing
    const std::wstring base = folder + L"\\" + name;
    if (!write_file(base + L".ready", std::vector<uint8_t>(crop.begin(), crop.end()))) {
        fwprintf(stderr, L"cannot write %ls.ready\n", base.c_str());
        return false;
    }
    if (!wait_until([&] { return file_exists(base + L".done"); }, 60000)) {
        fwprintf(stderr, L"no picture was taken of %ls\n", name);
        return false;
    }
    return true;
}

// The part of the window that group box `caption` takes, with a margin, for picture().
std::string group_crop(const wchar_t* caption) {
    HWND found = FindWindowExW(app_window(), nullptr, L"Button", caption);
    RECT window{}, group{};
    if (found == nullptr || !GetWindowRect(app_window(), &window) ||
        !GetWindowRect(found, &group)) {
        return "";
    }
    const int margin = 6;
    char crop[64];
    snprintf(crop, sizeof crop, "%ldx%ld+%ld+%ld", group.right - group.left + 2 * margin,
             group.bottom - group.top + 2 * margin, group.left - window.left - margin,
             group.top - window.top - margin);
    return crop;
}

bool wait_line(const wchar_t* line, DWORD ms) {
    return wait_until([&] { return app_log_contains(line); }, ms);
}

// Connected, and readings shown for a moment.
bool wait_connected() {
    if (!wait_line(CONNECTED, 30000)) {
        fprintf(stderr, "the controller was not found\n");
        return false;
    }
    wait_until([] { return !app_text(1002).empty() && !app_text(1005).empty(); }, 5000);
    Sleep(1500);
    return true;
}

// The settings of a staircase of fourteen stairs as an installer might leave them: the
// controller holds these, so that reading them visibly changes the form.
std::string site_settings_hex() {
    float table[SETTINGS_COUNT];
    factory_defaults_table(table);
    table[POS_SENSOR1_MIN] = 10.0f;
    table[POS_SENSOR2_MIN] = 10.0f;
    table[POS_SENSOR1_MAX] = 120.0f;
    table[POS_SENSOR2_MAX] = 120.0f;
    table[POS_LIGHT_THRESHOLD] = 30.0f;
    table[POS_OFF_TIMER] = 60.0f;
    for (int n = 1; n <= CHANNEL_COUNT; ++n) {
        const bool used = n <= 14;
        const float step = static_cast<float>(150 * (n - 1));
        table[channel_position(COL_ON_DELAY, n)] = used ? step : 0.0f;
        table[channel_position(COL_ON_START_LEVEL, n)] = 0.0f;
        table[channel_position(COL_ON_END_LEVEL, n)] = used ? 80.0f : 0.0f;
        table[channel_position(COL_RISE_TIME, n)] = used ? 400.0f : 0.0f;
        table[channel_position(COL_OFF_DELAY, n)] = used ? step : 0.0f;
        table[channel_position(COL_OFF_START_LEVEL, n)] = used ? 80.0f : 0.0f;
        table[channel_position(COL_OFF_END_LEVEL, n)] = 0.0f;
        table[channel_position(COL_FALL_TIME, n)] = used ? 800.0f : 0.0f;
        const bool standby = n == 1 || n == 14;
        table[channel_position(COL_STANDBY_ENABLED, n)] = standby ? 1.0f : 0.0f;
        table[channel_position(COL_STANDBY_LEVEL, n)] = standby ? 5.0f : 0.0f;
    }
    uint8_t payload[WIRE_IMAGE_BYTES];
    wire_image_pack(table, payload);
    return hex_encode(payload, WIRE_IMAGE_BYTES);
}

// A settings file cut short, as a copy broken off half-way leaves it.
bool write_damaged_file(const std::wstring& path) {
    float table[SETTINGS_COUNT];
    factory_defaults_table(table);
    uint8_t image[SETTINGS_FILE_IMAGE_BYTES];
    uint8_t content[SETTINGS_FILE_BYTES];
    uint8_t disk[2 * SETTINGS_FILE_BYTES];
    settings_image_pack(table, image);
    settings_file_content(image, content);
    settings_text_encode(content, SETTINGS_FILE_BYTES, disk, sizeof disk);
    return write_file(path, std::vector<uint8_t>(disk, disk + 700));
}

bool states() {
    if (!app_start()) {
        fprintf(stderr, "the program's window did not appear\n");
        return false;
    }
    // No controller: the first scan has listed the ports and found nothing.
    if (!wait_line(L"Количество COM-портов", 10000) || !picture(L"no-controller")) {
        return false;
    }
    if (!emu_ok(("set settings " + site_settings_hex()).c_str()) || !emu_ok("silent off")) {
        fprintf(stderr, "the emulator did not take its settings\n");
        return false;
    }
    if (!wait_connected() || !picture(L"connected")) {
        return false;
    }
    // Sensor 1 reports a fault: its field says so, cut off by its width; the group of readings
    // alone is shown.
    if (!emu_ok("set faults 1") ||
        !wait_until([] { return app_text(1002) == L"Не работает"; }, 5000) ||
        !picture(L"sensor-fault", group_crop(L"Датчики")) || !emu_ok("set faults 0")) {
        fprintf(stderr, "no picture of a failed sensor\n");
        return false;
    }
    app_click(16);
    if (!wait_line(READ_DONE, 10000)) {
        fprintf(stderr, "the settings were not read\n");
        return false;
    }
    Sleep(1000);
    if (!picture(L"read")) {
        return false;
    }
    wchar_t documents[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents) != S_OK) {
        fprintf(stderr, "no documents folder\n");
        return false;
    }
    const std::wstring damaged = std::wstring(documents) + L"\\Подъезд 2.lv24";
    if (!write_damaged_file(damaged)) {
        fprintf(stderr, "cannot write the damaged file\n");
        return false;
    }
    app_click_async(14);
    HWND dialog = app_modal(nullptr);
    if (dialog == nullptr || !file_dialog_choose(dialog, damaged.c_str())) {
        fprintf(stderr, "the open dialog did not take the file\n");
        return false;
    }
    HWND box = app_modal(L"Ошибка открытия файла!");
    if (box == nullptr || !picture(L"damaged-file")) {
        fprintf(stderr, "no message box\n");
        return false;
    }
    dialog_press(box, IDOK);
    DeleteFileW(damaged.c_str());
    app_stop();
    return true;
}

bool connected() {
    if (!app_start()) {
        fprintf(stderr, "the program's window did not appear\n");
        return false;
    }
    const bool ok = wait_connected() && picture(L"connected");
    app_stop();
    return ok;
}

} // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc != 3) {
        fprintf(stderr, "usage: lumivo_screenshots states|connected FOLDER\n");
        return 2;
    }
    folder = argv[2];
    const std::wstring what = argv[1];
    const bool ok = what == L"states" ? states() : what == L"connected" ? connected() : false;
    if (!ok) {
        const std::wstring log = app_log();
        fwprintf(stderr, L"status log:\n%ls\n", log.c_str());
    }
    return ok ? 0 : 1;
}
