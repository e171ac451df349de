// Process entry: the caption buffer, the hand-over of a file to a window already open, the main
// dialog, its caption, and the message loop. The command line comes from the system as UTF-16
// (the program is linked with -municode), so a file name in any script arrives as it is.
#include <windows.h>

#include <cstdlib>

#include "app/app_state.h"
#include "app/command_line.h"
#include "app/main_dialog.h"
#include "app/window_handover.h"

// The file named on the command line, quotes removed; nullptr when there is none.
static const wchar_t* command_line_file(const wchar_t* command_line) {
    static char16_t path[COMMAND_LINE_UNITS];
    if (command_line == nullptr ||
        command_line_path(path, COMMAND_LINE_UNITS,
                          reinterpret_cast<const char16_t*>(command_line)) == 0) {
        return nullptr;
    }
    return reinterpret_cast<const wchar_t*>(path);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR command_line, int) {
    app_instance = instance;
    auto* caption = static_cast<wchar_t*>(malloc(CAPTION_UNITS * sizeof(wchar_t)));
    if (caption == nullptr)
        return -1;
    // A file goes to a window of the program already open. Starts with a file take turns until
    // the file is handed over or this process's window is visible and takes files.
    const wchar_t* file = command_line_file(command_line);
    HANDLE turn = file != nullptr ? handover_lock() : nullptr;
    if (file != nullptr && handover_send(file)) {
        handover_unlock(turn);
        return 0;
    }

    HWND dialog = app_start(caption, CAPTION_UNITS, command_line);
    if (dialog == nullptr) {
        handover_unlock(turn);
        return 1;
    }
    app_caption_set(dialog, caption, CAPTION_UNITS);
    ShowWindow(dialog, SW_SHOW);
    handover_unlock(turn);
    return app_message_loop();
}
