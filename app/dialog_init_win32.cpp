// Initialisation of the main dialog (WM_INITDIALOG), in a fixed order: the link state and the
// port table, the scan timer, the control map with the defaults and the edit lock, the scan
// counters, the icons, the file dialog, and last the file named on the command line.
#include <cstring>

#include "app/app_state.h"
#include "app/main_dialog.h"
#include "app/text_cp1251.h"
#include "resources/resource_ids.h"
#include "settings/form.h"
#include "settings/settings_file.h"

// Storage of the PortEntry table, process-wide and never moved.
static PortEntry port_table[PORT_TABLE_ENTRIES];

// Removes every double quote from `text` in place; the other characters close up.
static void remove_quotes(char* text) {
    char* out = text;
    for (const char* in = text; *in != '\0'; ++in) {
        if (*in != '"')
            *out++ = *in;
    }
    *out = '\0';
}

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

// The command line, quotes removed and converted, is loaded like a file chosen in the open
// dialog. The converted path lives only during this call, so the current path is cleared again
// once the load has run.
static void load_command_line_file(HWND dialog) {
    char16_t path[COMMAND_LINE_BYTES];
    remove_quotes(app.command_line_copy);
    cp1251_to_utf16_n(path, COMMAND_LINE_BYTES, app.command_line_copy);
    app.settings_path = reinterpret_cast<const wchar_t*>(path);
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
    load_command_line_file(dialog);
}
