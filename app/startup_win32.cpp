// Start-up of the main window and the message loop. WinMain strings these together; tests call
// them one by one with their own instance handle.
//
// The dialog's initialisation runs inside CreateDialogParamW, so by the time app_start returns,
// the form is filled and locked and the command-line file is loaded. If the control map could not
// be built (an allocation failed), everything after it in the initialisation was skipped; the
// program cannot work without it, so start-up ends here with a message instead.
#include "app/main_dialog.h"

#include <cstring>
#include <cwchar>

#include "app/app_state.h"
#include "app/caption_version.h"
#include "resources/resource_ids.h"
#include "settings/form.h"

static const wchar_t START_FAILED_CAPTION[] = L"lumivo";
static const wchar_t NO_DIALOG_TEXT[] = L"Не удалось создать главное окно программы.";
static const wchar_t NO_MEMORY_TEXT[] = L"Недостаточно памяти для запуска программы.";

static void start_failed(const wchar_t* text) {
    MessageBoxW(nullptr, text, START_FAILED_CAPTION, MB_OK | MB_ICONERROR);
}

// The copy in AppState has room for COMMAND_LINE_UNITS - 1 units and a terminator; a longer
// command line is cut there. AppState was zeroed, so the copy stays terminated.
static void keep_command_line(const wchar_t* command_line) {
    if (command_line == nullptr)
        return;
    size_t length = wcsnlen(command_line, COMMAND_LINE_UNITS - 1);
    wmemcpy(app.command_line_copy, command_line, length);
}

HWND app_start(wchar_t* caption, size_t caption_units, const wchar_t* command_line) {
    memset(&app, 0, sizeof app);
    memset(caption, 0, caption_units * sizeof caption[0]);
    app.command_line = command_line;
    keep_command_line(command_line);

    app_dialog_created = CreateDialogParamW(app_instance, MAKEINTRESOURCEW(IDD_MAIN),
                                            GetDesktopWindow(), main_dialog_proc, 0);
    if (app_dialog_created == nullptr) {
        start_failed(NO_DIALOG_TEXT);
        return nullptr;
    }
    if (!controls_complete()) {
        DestroyWindow(app_dialog_created);
        app_dialog_created = nullptr;
        start_failed(NO_MEMORY_TEXT);
        return nullptr;
    }
    main_dialog_place(app_dialog_created);
    return app_dialog_created;
}

void app_caption_set(HWND dialog, wchar_t* caption, size_t caption_units) {
    SendMessageW(dialog, WM_GETTEXT, caption_units, reinterpret_cast<LPARAM>(caption));
    caption_append_version(reinterpret_cast<char16_t*>(caption), caption_units, __DATE__);
    SendMessageW(dialog, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(caption));
}

// Messages go straight to their windows, except the keys the main dialog takes or drops
// (dialog_keys_win32.cpp): the dialog manager's own keyboard handling is not part of this loop.
int app_message_loop() {
    MSG msg{};
    for (;;) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1)
            break;
        if (dialog_key_taken(app.dialog, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
