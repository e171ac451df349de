// Settings files (.lv24): the file dialogs behind the buttons of the group "Файл", and saving
// and loading the form at a path.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include "app/app_state.h"

// The one file-dialog descriptor, shared by the save and the open dialog, and the path buffer
// both dialogs read and update (so each opens with the last path chosen).
extern OPENFILENAMEW settings_file_dialog;
extern wchar_t settings_file_path[SETTINGS_PATH_UNITS];

// Prepares the descriptor for dialogs owned by `owner` (at dialog initialisation).
void settings_file_dialog_prepare(HWND owner);

// Command 13: choose a file in the save dialog and save the form to it.
void settings_file_save_command();
// Command 14: choose a file in the open dialog and load it into the form.
void settings_file_open_command();

// Save the form to `path` / load `path` into the form; an empty path does nothing.
void save_settings_file(const wchar_t* path);
void load_settings_file(const wchar_t* path);
