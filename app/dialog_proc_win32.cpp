// The main dialog's window procedure: the one place where buttons, timers and the program's
// private messages enter its logic.
//
// Every timer message, whatever its id, restarts TIMER_SCAN's period first. So while TIMER_POLL
// ticks every 200 ms during a connection the scan tick never comes, and scanning resumes by
// itself one second after the poll timer has been killed.
//
// Messages this procedure handles return TRUE so that the dialog manager does not act on them
// a second time: WM_APP_LOG has the value of DM_SETDEFID, and the default handling would
// otherwise change the dialog's default button on every log line.
#include <cstring>

#include "app/app_state.h"
#include "app/main_dialog.h"
#include "app/status_log.h"
#include "app/window_handover.h"
#include "link/ports.h"
#include "link/wire_image.h"
#include "link/worker_pass.h"
#include "resources/resource_ids.h"
#include "settings/form.h"
#include "settings/settings_file.h"

static const char16_t DEFAULTS_RESTORED[] = u"Восстановлены значения по умолчанию.\r\n";
static const char16_t WRITE_CLICK_SKIPPED[] =
    u"Нажатие «Записать» в группе «Настройки» пропущено: ещё не выполнены %d предыдущих.\r\n";
static const char16_t READ_CLICK_SKIPPED[] =
    u"Нажатие «Прочитать» в группе «Настройки» пропущено: ещё не выполнены %d предыдущих.\r\n";

// A click of a controller button waits in the queue until the worker carries it out, in the
// order of the clicks. While no controller is connected it is not kept: the next connection
// would carry it out on whatever controller is plugged in then.
static void controller_click(int32_t command) {
    if (!link_flags_test(LINK_WORKER_RUNS)) {
        return;
    }
    if (!pending_commands_put(command)) {
        ui_log_format_int(command == PENDING_WRITE_SETTINGS ? WRITE_CLICK_SKIPPED
                                                            : READ_CLICK_SKIPPED,
                          static_cast<int32_t>(COMMAND_QUEUE_SLOTS));
    }
}

// The counter is set back to 10 by the link worker at the end of a connection.
static void scan_tick() {
    if (scan_tick_step(&app.scan_ticks)) {
        link_flags_clear(LINK_PORTS_PROBING);
        scan_ports();
    }
}

static void on_timer(HWND dialog, UINT_PTR id) {
    SetTimer(dialog, TIMER_SCAN, SCAN_PERIOD_MS, nullptr);
    switch (id) {
    case TIMER_SCAN:
        scan_tick();
        break;
    case TIMER_POLL:
        link_flags_set(LINK_POLL_DUE);
        SetTimer(dialog, TIMER_POLL, POLL_PERIOD_MS, nullptr);
        // The worker kills this timer as it ends, from its own thread. Had that kill landed
        // between this tick's dispatch and the re-arm above, the poll timer would tick on with
        // no connection and, restarting TIMER_SCAN each time, stop scanning for good. The worker
        // clears the running bit before its kill, so testing the bit after the re-arm leaves no
        // gap: either the worker's kill comes later, or the bit is seen clear here.
        if (!link_flags_test(LINK_WORKER_RUNS)) {
            KillTimer(dialog, TIMER_POLL);
        }
        break;
    case TIMER_REPLY:
        link_flags_set(LINK_REPLY_ELAPSED);
        KillTimer(dialog, TIMER_REPLY);
        break;
    default:
        handle_probe_timer(id);
        break;
    }
}

// Returns true for the cancel command, the one command that answers 1.
static bool on_command(HWND dialog, WORD id) {
    switch (id) {
    case IDCANCEL:
        SendMessageW(dialog, WM_CLOSE, 0, 0);
        return true;
    case IDC_FILE_SAVE:
        settings_file_save_command();
        break;
    case IDC_FILE_OPEN:
        settings_file_open_command();
        break;
    case IDC_DEVICE_WRITE:
        controller_click(PENDING_WRITE_SETTINGS);
        break;
    case IDC_DEVICE_READ:
        controller_click(PENDING_READ_SETTINGS);
        break;
    case IDC_LOAD_DEFAULTS:
        load_defaults();
        status_log_line(DEFAULTS_RESTORED);
        break;
    default:
        break;
    }
    return false;
}

// The link worker's form transfers, each carried out whole here on the user-interface thread, so
// that a file save or load never lands in the middle of one: gather and check the form, and
// hand the worker a copy of the table to pack (or, when the form fails its check, log why and
// hand it nothing); or unpack a checked controller payload into the table and show it. A form
// that fails leaves the table as it was and the fields as typed.
static void form_to_table_for_worker(FormCopy* copy) {
    FormGathered form;
    form_gather_checked(&form);
    if (form_refused(CHECK_FOR_CONTROLLER, &form)) {
        copy->refused = true;
    } else {
        memcpy(app.settings_table, form.values, sizeof(app.settings_table));
        memcpy(copy->values, form.values, sizeof(copy->values));
    }
    copy->filled = true;
}

static void table_from_controller(const uint8_t* payload) {
    wire_image_unpack(payload, app.settings_table);
    show_table(SHOW_CONTROLLER);
}

// The path a file message acts on; an unset path counts as empty.
static const wchar_t* current_settings_path() {
    return app.settings_path != nullptr ? app.settings_path : L"";
}

INT_PTR CALLBACK main_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG:
        main_dialog_init(dialog);
        return FALSE;
    case WM_CLOSE:
        main_dialog_close(dialog);
        return TRUE;
    case WM_DESTROY:
        handover_unmark(dialog);
        return FALSE;
    case WM_COPYDATA: // a file handed over by a later start of the program
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT,
                          handover_receive(dialog, reinterpret_cast<COPYDATASTRUCT*>(lparam)));
        return TRUE;
    case WM_COMMAND:
        return on_command(dialog, LOWORD(wparam)) ? TRUE : FALSE;
    case WM_TIMER:
        on_timer(dialog, LOWORD(wparam));
        return FALSE;
    case WM_APP_LOG:
        status_log_receive(reinterpret_cast<const wchar_t*>(lparam));
        return TRUE;
    case WM_APP_SAVE_FILE:
        save_settings_file(current_settings_path());
        return TRUE;
    case WM_APP_LOAD_FILE:
        load_settings_file(current_settings_path());
        return TRUE;
    case WM_APP_FORM_TO_TABLE:
        form_to_table_for_worker(reinterpret_cast<FormCopy*>(lparam));
        return TRUE;
    case WM_APP_TABLE_FROM_CONTROLLER:
        table_from_controller(reinterpret_cast<const uint8_t*>(lparam));
        return TRUE;
    default:
        return FALSE;
    }
}
