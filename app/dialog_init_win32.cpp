// Initialisation of the main dialog (WM_INITDIALOG), in a fixed order: the link state and the
// port table, the scan timer, the control map with the defaults and the edit lock, the scan
// counters, the icons, the file dialog, the mark by which a later start finds this window, and
// last the file named on the command line.
#include <cstring>

#include "app/app_state.h"
#include "app/main_dialog.h"
#include "app/command_line.h"
#include "app/window_handover.h"
#include "resources/resource_ids.h"
#include "settings/form.h"
#include "settings/settings_file.h"

// Storage of the PortEntry table, process-wide and never moved.
static PortEntry port_table[PORT_TABLE_ENTRIES];

static void set_icons(HWND dialog) {
    HICON big_icon = LoadIconW(app_instance, MAKEINTRESOURCEW(IDI_APP));
    // The icon file carries a 16-pixel picture of its own; LoadIconW would only scale down the
    // large one.
    HICON small_icon = static_cast<HICON>(LoadImageW(app_instance, MAKEINTRESOURCEW(IDI_APP),
                                                     IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                     GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    if (small_icon == nullptr)
        small_icon = big_icon;
    SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_icon));
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon));
}

// The command line, quotes removed, is loaded like a file chosen in the open dialog. The current
// path points at the copy only during this load.
static void load_command_line_file(HWND dialog) {
    auto* copy = reinterpret_cast<char16_t*>(app.command_line_copy);
    command_line_path(copy, COMMAND_LINE_UNITS, copy);
    app.settings_path = app.command_line_copy;
    SendMessageW(dialog, WM_APP_LOAD_FILE, 0, 0);
    app.settings_path = nullptr;
}

void main_dialog_init(HWND dialog) {
    link_flags_reset();
    app.dialog = dialog;

    app.ports = port_table;
    memset(port_table, 0, sizeof port_table);

    SetTimer(dialog, TIMER_SCAN, SCAN_PERIOD_MS, nullptr);

    // Without the whole control map nothing else can run; app_start reports it.
    if (!collect_controls())
        return;
    load_defaults();
    set_form_lock(1);

    app.scan_ticks = 10; // the first scan tick scans at once
    app.last_port_count = -1;

    set_icons(dialog);
    settings_file_dialog_prepare(dialog);
    handover_mark(dialog);
    load_command_line_file(dialog);
}
