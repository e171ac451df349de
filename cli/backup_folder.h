// Where the controller's settings are backed up before the tool changes them. Each platform
// implements it in its own file (backup_folder_posix.cpp, backup_folder_win32.cpp).
#pragma once

#include <cstddef>

#include "settings/file_replace.h"

constexpr size_t BACKUP_FOLDER_BYTES = 4096; // a folder's path given back, with its terminator

// The folder, created with every missing folder above it (private to the user): on Linux
// $XDG_STATE_HOME/lumivo24/backups when XDG_STATE_HOME is an absolute path, otherwise
// ~/.local/state/lumivo24/backups; on Windows %LOCALAPPDATA%\LUMIVO24\backups. Returns 0 with the
// folder's path (UTF-8, no trailing separator) in `folder`, or -1 with the reason in `why`.
int backup_folder(char folder[BACKUP_FOLDER_BYTES], char why[FILE_WHY_BYTES]);
