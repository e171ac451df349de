// The StatusLog on the window side: the append rule itself is portable (status_log_text.h);
// here the result is put into the status window.
//
// Setting the text scrolls the edit back to its first line, so after every append it is
// scrolled down by its line count with EM_LINESCROLL, which stops once the last line is at the
// bottom: the newest message is always in sight. (EM_SCROLL takes only line and page steps.)
#include "app/status_log.h"

#include "app/app_state.h"
#include "app/status_log_text.h"
#include "base/log_format.h"

void status_log_receive(const wchar_t* text) {
    if (text == nullptr)
        return;
    UiRecord* ui = app.ui;
    status_log_append(reinterpret_cast<char16_t*>(ui->log), UI_TEXT_BUFFER_BYTES,
                      reinterpret_cast<const char16_t*>(text));
    HWND window = ui->slots[SLOT_STATUS_LOG];
    SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(ui->log));
    const LRESULT lines = SendMessageW(window, EM_GETLINECOUNT, 0, 0);
    SendMessageW(window, EM_LINESCROLL, 0, lines);
}

void log_send(HWND dialog, const wchar_t* line) {
    SendMessageW(dialog, WM_APP_LOG, 0, reinterpret_cast<LPARAM>(line));
}

void status_log_line(const char16_t* text) {
    log_send(app.dialog, reinterpret_cast<const wchar_t*>(text));
}

void ui_log_format(const char16_t* pattern, const char16_t* text_arg) {
    auto* scratch = reinterpret_cast<char16_t*>(app.ui->scratch);
    log_format(scratch, TEXT_LINE_UNITS, pattern, text_arg);
    status_log_line(scratch);
}

void ui_log_format_int(const char16_t* pattern, int32_t number) {
    auto* scratch = reinterpret_cast<char16_t*>(app.ui->scratch);
    log_format_int(scratch, TEXT_LINE_UNITS, pattern, number);
    status_log_line(scratch);
}
