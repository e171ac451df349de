// The process-wide records of the program, declared once.
//
// Two threads share these records. The user-interface thread owns the window, every control and
// every timer; the link worker thread exists only while a controller is connected and owns the
// serial port and the link buffers while it runs. Each member says which thread writes it.
//
// The records are plain data so that the entry can zero them as a whole. The two members that
// both threads change at the same moment, `link_flags` and `pending_commands`, are touched only
// through the link_flags_* and pending_commands_* routines below, which use atomic operations.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>

#include "app/command_line.h" // COMMAND_LINE_UNITS
#include "base/text_line.h"
#include "link/command_queue.h"
#include "link/dialog_timers.h"
#include "link/link_flags.h"
#include "link/link_timing.h"
#include "settings/settings_file_format.h"
#include "settings/settings_layout.h"

// ---- Private window messages ---------------------------------------------------------------
constexpr UINT WM_APP_LOG = 1025;       // lParam: NUL-terminated UTF-16 text to append to the log
constexpr UINT WM_APP_SAVE_FILE = 1313; // save the form to the current settings-file path
constexpr UINT WM_APP_LOAD_FILE = 1314; // load the current settings-file path into the form
// The link worker's form transfers, each carried out whole on the user-interface thread:
constexpr UINT WM_APP_FORM_TO_TABLE = 1315; // gather the form into the table; lParam: FormCopy
                                            // that receives a copy of it and is marked filled
constexpr UINT WM_APP_TABLE_FROM_CONTROLLER = 1316; // lParam: a checked 643-byte settings
                                                    // payload to unpack into the table and show

// The main dialog's timers, ids and periods, are in link/dialog_timers.h.

// ---- Sizes ---------------------------------------------------------------------------------
constexpr size_t LINK_BUFFER_BYTES = 0xFFFFF;  // each of RX, TX and RX_TEMP
constexpr size_t PORT_TABLE_ENTRIES = 1024;    // PortEntry table
constexpr size_t PORT_NAME_UNITS = 256;        // PortEntry device name, UTF-16 units
constexpr size_t ACTIVE_PORT_NAME_UNITS = 16;  // active port device name, UTF-16 units
constexpr size_t UI_SLOT_COUNT = 256;          // window-handle slots of the UiRecord
constexpr size_t UI_TEXT_BUFFER_BYTES = 32767; // log buffer and scratch buffer, each
constexpr size_t IDENT_TEXT_BYTES = 1024;      // controller identification text
constexpr size_t SETTINGS_PATH_UNITS = 1024;   // settings-file path buffer

// One serial-port candidate of a scan pass.
struct PortEntry {
    HANDLE handle;                        // the open port; 0 when none (UI thread)
    wchar_t device_name[PORT_NAME_UNITS]; // name the port was opened with (UI thread)
    int32_t port_number;                  // number taken from the registry (UI thread)
};

// Window handles of every control the program touches, and the two text buffers.
// Built once by collect_controls on the UI thread and never released; afterwards read-only.
struct UiRecord {
    HWND slots[UI_SLOT_COUNT]; // control handles; table position p is in slot p + 2
    wchar_t* log;              // StatusLog text, UI_TEXT_BUFFER_BYTES bytes, NUL-terminated
    wchar_t* scratch;          // UI thread's formatting buffer, UI_TEXT_BUFFER_BYTES bytes
};

// Slots of the controls that are not settings.
constexpr size_t SLOT_DISTANCE1 = 0;     // control 1002
constexpr size_t SLOT_DISTANCE2 = 1;     // control 1003
constexpr size_t SLOT_ILLUMINANCE = 250; // control 1005
constexpr size_t SLOT_STATUS_LOG = 255;  // control 1004
constexpr size_t slot_of_position(int p) {
    return static_cast<size_t>(p) + 2;
}

struct AppState {
    // -- shell
    HWND dialog;                                   // main dialog (UI thread, at initialisation)
    const wchar_t* command_line;                   // UTF-16 command line as received (entry)
    wchar_t command_line_copy[COMMAND_LINE_UNITS]; // the same, quotes removed at initialisation

    // -- port discovery (UI thread)
    uint32_t port_entry_count; // entries filled by the last enumeration that went ahead
    int32_t last_port_count;   // port count last logged; -1: log the next count whatever it is
    PortEntry* ports;          // the PortEntry table (static storage)

    // -- link buffers and transaction state (worker thread)
    uint8_t* rx;             // bytes received since the current transaction began
    uint8_t* rx_temp;        // bytes of the last read
    uint8_t* tx;             // request under construction
    uint32_t received_count; // bytes appended to rx since the transaction began
    uint32_t frame_start;    // offset in rx at which the reply frame begins
    int32_t payload_length;  // bytes of payload in tx from offset 4
    int32_t reply_timeout;   // reply window in milliseconds
    int32_t command;         // command of the next request

    // -- active port (UI thread before the worker starts, worker thread at its exit)
    HANDLE active_port;                               // handle the worker talks through
    wchar_t active_port_name[ACTIVE_PORT_NAME_UNITS]; // device name of the active port
    int32_t active_port_number;                       // port number of the active port

    uint32_t link_flags; // LinkFlags bits; only through link_flags_* (both threads)

    UiRecord* ui; // control handles and text buffers (UI thread, at initialisation)

    // -- live readings (worker thread), kept as the last status reply gave them; nothing reads
    // them: the window shows the texts made from the reply itself
    uint16_t raw_light; // light sensor: 0 full daylight, 4096 dark
    float distance1;    // sensor 1, cm
    float distance2;    // sensor 2, cm
    uint8_t fault_bits; // bit 0: sensor 1 fails, bit 1: sensor 2 fails

    int32_t scan_ticks; // port-scan tick counter (UI thread; worker sets 10 at its exit)

    // -- settings file (UI thread)
    uint8_t settings_image[SETTINGS_FILE_IMAGE_BYTES]; // SettingsImage of the last save or load
    FILE* file_out; // nothing reads or writes it: saves go through file_replace_write
    FILE* file_in;  // nothing reads or writes it: loads read through a handle (file_device.h)

    // -- identification (UI thread at identification, worker thread at its exit)
    char ident_text[IDENT_TEXT_BYTES]; // controller identification text
    int32_t board_revision;            // version x 1000 (see IDENT_SUPPORTED_REVISION); 0: none

    const wchar_t* settings_path; // path that WM_APP_SAVE_FILE / WM_APP_LOAD_FILE act on (UI)

    float settings_table[SETTINGS_COUNT]; // SettingsTable (UI thread only, see form.h)

    // PendingDeviceCommand, a queue of the clicked controller commands: put in by the UI
    // thread, taken out by the worker; only through pending_commands_* and command_queue_*
    CommandQueue pending_commands;
};

extern AppState app;            // the one AppState
extern HINSTANCE app_instance;  // instance handle of the program
extern HWND app_dialog_created; // main dialog as returned by dialog creation

// ---- Atomic access to the shared cells -----------------------------------------------------
inline uint32_t link_flags_get() {
    return flags_load(&app.link_flags);
}
inline bool link_flags_test(uint32_t bits) {
    return (link_flags_get() & bits) != 0;
}
inline void link_flags_set(uint32_t bits) {
    flags_set(&app.link_flags, bits);
}
inline void link_flags_clear(uint32_t bits) {
    flags_clear(&app.link_flags, bits);
}
inline void link_flags_reset() {
    std::atomic_ref<uint32_t>(app.link_flags).store(0);
}
// User-interface thread: queues a clicked controller command; false when too many wait.
inline bool pending_commands_put(int32_t command) {
    return command_queue_put(&app.pending_commands, command);
}
// User-interface thread, while no worker runs: drops the commands waiting.
inline void pending_commands_clear() {
    command_queue_clear(&app.pending_commands);
}
