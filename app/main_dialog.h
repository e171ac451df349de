// The main dialog: its creation at start-up, its window procedure, its initialisation and the
// message loop that runs it. Everything here runs on the user-interface thread.
#pragma once

#include <windows.h>

#include <cstddef>

#include "app/caption_version.h" // CAPTION_UNITS

// Zeroes AppState and the caption buffer, keeps a bounded copy of the UTF-16 command line,
// creates the main dialog (its initialisation runs inside) and places it on its screen. Returns the
// dialog, or nullptr after telling the user why the program cannot start.
HWND app_start(wchar_t* caption, size_t caption_units, const wchar_t* command_line);

// Appends ", Version: ..." built from the build date to the dialog's caption, using `caption`
// (caption_units long) as the working buffer.
void app_caption_set(HWND dialog, wchar_t* caption, size_t caption_units);

// Runs the message loop until the quit message (or a failing GetMessageW); returns the wParam
// of the last message retrieved.
int app_message_loop();

// The loop's keyboard filter: true when `msg` is a key the main dialog `dialog` takes itself (Tab
// and Shift+Tab move the focus to the next or previous tab stop) or drops (Enter, Esc), so that
// the loop must not pass it on.
bool dialog_key_taken(HWND dialog, const MSG* msg);

// The window procedure of the main dialog.
INT_PTR CALLBACK main_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// WM_INITDIALOG: timers, control map, defaults, edit lock, icons, file dialog, command-line file.
void main_dialog_init(HWND dialog);

// Puts the main window on its screen: centred in the work area, or with its caption bar at the
// work area's top where the window is taller than that (window_place.h).
void main_dialog_place(HWND dialog);

// WM_CLOSE: hides the window, lets a running connection end (a short while at most), then ends
// the dialog and the message loop. A second WM_CLOSE meanwhile is ignored.
void main_dialog_close(HWND dialog);
