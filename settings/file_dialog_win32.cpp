// The file-dialog descriptor shared by the save and the open dialog.
#include <cstring>

#include "settings/settings_file.h"

OPENFILENAMEW settings_file_dialog;
wchar_t settings_file_path[SETTINGS_PATH_UNITS];

// Pairs of description and pattern, each NUL-terminated, the list ended by an empty string.
static const wchar_t FILE_FILTER[] = L"Контроллер лестницы LUMIVO24\0*.lv24\0All\0*.*\0";

// Every field not set here stays zero: no default extension, initial directory, title or
// file-title buffer. Flags are set before each dialog. The structure's size is that of this
// platform's OPENFILENAMEW, as the dialogs require.
void settings_file_dialog_prepare(HWND owner) {
    memset(&settings_file_dialog, 0, sizeof settings_file_dialog);
    settings_file_dialog.lStructSize = sizeof settings_file_dialog;
    settings_file_dialog.hwndOwner = owner;
    settings_file_dialog.lpstrFilter = FILE_FILTER;
    settings_file_dialog.nFilterIndex = 1;
    settings_file_dialog.lpstrFile = settings_file_path;
    settings_file_dialog.nMaxFile = SETTINGS_PATH_UNITS;
}
