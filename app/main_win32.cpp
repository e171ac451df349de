// Process entry: the caption buffer, the main dialog, its caption, and the message loop.
#include <windows.h>

#include <cstdlib>

#include "app/app_state.h"
#include "app/main_dialog.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
    app_instance = instance;
    auto* caption = static_cast<wchar_t*>(malloc(CAPTION_UNITS * sizeof(wchar_t)));
    if (caption == nullptr)
        return -1;

    HWND dialog = app_start(caption, CAPTION_UNITS, command_line);
    if (dialog == nullptr)
        return 1;
    app_caption_set(dialog, caption, CAPTION_UNITS);
    ShowWindow(dialog, SW_SHOW);
    return app_message_loop();
}
