// Settings files (.lv24): the file dialogs of the group "Файл", and saving and loading the form,
// on the user-interface thread.
#pragma once

#include <windows.h>

// Prepares the one file-dialog descriptor shared by the save and open dialogs.
void settings_file_prepare_dialog(HWND owner);

// Command 13: the save dialog, then a save to the chosen path (".lv24" appended when missing).
void settings_file_save_command();

// Command 14: the open dialog, then a load of the chosen file.
void settings_file_open_command();

// WM_APP_SAVE_FILE and WM_APP_LOAD_FILE: save the form to, or load it from, `path`; an empty
// path does nothing.
void save_settings_file(const wchar_t* path);
void load_settings_file(const wchar_t* path);
