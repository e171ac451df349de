// Saving and loading settings files.
//
// The file is a 1050-byte content (banner, a 0 byte, the settings image, CRC-16) in which every
// 0x0A is stored on disk as 0x0D 0x0A. The translation is done by our own portable code and the
// file is read as it lies on the disk, so the result is the same with every C runtime, and a 0x1A
// byte in the data (616 ms is 00 00 1A 44) is data, not the end of the file. Files are opened by
// their UTF-16 names, past the old path length limit too; only a file on a disk is read.
//
// A save never opens the existing file for writing: the new content goes into a new file beside
// it, which then takes its place in one step (file_replace.h). A save that fails anywhere leaves
// the old file exactly as it was, leaves no other file behind, and says in the log that it
// failed; it is reported as done only when the new file is in place.
#include "settings/settings_file.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "app/app_state.h"
#include "app/status_log.h"
#include "base/log_format.h"
#include "settings/file_device.h"
#include "settings/file_replace.h"
#include "settings/form.h"
#include "settings/long_path.h"
#include "settings/settings_file_format.h"

namespace {

// The name a load hands to the system: a path past the old length limit in its extended form.
wchar_t load_path[LONG_PATH_UNITS];

// Reads at most `cap` bytes of the file; -1 when it cannot be opened, or when it is no file on a
// disk (file_device.h): a device, a pipe or a FIFO is refused before anything is read from it,
// since the read could wait for ever and the window with it.
long read_disk_bytes(const wchar_t* path, uint8_t* disk, size_t cap) {
    if (!long_path_reach(path, 0, load_path, LONG_PATH_UNITS)) {
        return -1;
    }
    HANDLE file = file_open_disk_file(load_path, path);
    if (file == INVALID_HANDLE_VALUE) {
        return -1;
    }
    size_t got = 0;
    DWORD read = 0;
    while (got < cap && ReadFile(file, disk + got, static_cast<DWORD>(cap - got), &read, nullptr) &&
           read > 0) {
        got += read;
    }
    CloseHandle(file);
    return static_cast<long>(got);
}

void show_file_error(const wchar_t* path) {
    char16_t line[TEXT_LINE_UNITS];
    log_format(line, TEXT_LINE_UNITS, u"Ошибка файла \"%s\".\r\n",
               reinterpret_cast<const char16_t*>(path));
    MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(line), L"Ошибка открытия файла!", MB_OK);
    SendMessageW(app.dialog, WM_APP_LOG, 0, reinterpret_cast<LPARAM>(line));
}

} // namespace

void settings_file_save_command() {
    settings_file_dialog.Flags = OFN_CREATEPROMPT;
    if (GetSaveFileNameW(&settings_file_dialog) != 1) {
        return;
    }
    if (!settings_path_complete(reinterpret_cast<char16_t*>(settings_file_path),
                                SETTINGS_PATH_UNITS)) {
        ui_log_format(u"Слишком длинное имя файла \"%s\".\r\n",
                      reinterpret_cast<const char16_t*>(settings_file_path));
        return;
    }
    app.settings_path = settings_file_path;
    SendMessageW(app.dialog, WM_APP_SAVE_FILE, 0, 0);
}

void settings_file_open_command() {
    settings_file_dialog.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (GetOpenFileNameW(&settings_file_dialog) != 1) {
        return;
    }
    app.settings_path = settings_file_path;
    SendMessageW(app.dialog, WM_APP_LOAD_FILE, 0, 0);
}

void save_settings_file(const wchar_t* path) {
    if (path == nullptr || path[0] == 0) {
        return;
    }
    // A field that is not one number is named in the log and nothing is saved; the table keeps
    // what it held (the last channel's standby flag, which no file holds, comes from it).
    FormGathered form;
    form_gather_checked(&form);
    if (form_refused(CHECK_FOR_FILE, &form)) {
        return;
    }
    memcpy(app.settings_table, form.values, sizeof(app.settings_table));
    settings_image_pack(app.settings_table, app.settings_image);
    static uint8_t disk[SETTINGS_FILE_DISK_MAX];
    const size_t size = settings_file_bytes(app.settings_table, disk);
    if (size == SETTINGS_TEXT_FAILED || file_replace_write(path, disk, size) != FILE_PUT_DONE) {
        ui_log_format(u"Ошибка записи в файл \"%s\".\r\n", reinterpret_cast<const char16_t*>(path));
        return;
    }
    ui_log_format(u"Данные записаны в файл \"%s\".\r\n", reinterpret_cast<const char16_t*>(path));
}

void load_settings_file(const wchar_t* path) {
    if (path == nullptr || path[0] == 0) {
        return;
    }
    static uint8_t disk[SETTINGS_FILE_READ_BYTES];
    const long got = read_disk_bytes(path, disk, sizeof(disk));
    if (got < 0) {
        ui_log_format(u"Ошибка открытия файла %s.\r\n", reinterpret_cast<const char16_t*>(path));
        return;
    }
    uint8_t image[SETTINGS_FILE_IMAGE_BYTES];
    if (settings_file_load(disk, static_cast<size_t>(got), image) != SETTINGS_LOAD_OK) {
        show_file_error(path);
        return;
    }
    memcpy(app.settings_image, image, sizeof(image));
    settings_image_unpack(app.settings_image, app.settings_table);
    show_table(SHOW_FILE);
    ui_log_format(u"Данные прочитаны из файла \"%s\".\r\n",
                  reinterpret_cast<const char16_t*>(path));
}
