// Port discovery and identification.
//
// A scan pass opens every port the system lists, sends each the identification request and
// starts a 200 ms probe timer per port; when a probe timer fires its port's answer is read, and
// the first port that answers with the controller's identification string becomes the active
// port of a new connection. Ports that answer nothing, or something else, are closed and tried
// again on a later pass.
//
// A port that cannot be opened (absent, dead, or held by another program) or configured is passed
// over and the pass goes on with the next one: otherwise one dead port listed before the
// controller would hide the controller for ever. Ports whose probe-timer id would not be a
// distinct 16-bit timer id are given up (see port_name.h).
#include "link/ports.h"

#include <process.h>

#include <cstring>

#include "app/app_state.h"
#include "link/frame.h"
#include "link/ident_answer.h"
#include "link/port_name.h"
#include "link/serial.h"
#include "link/worker.h"
#include "settings/form.h"
#include "app/status_log.h"

namespace {

constexpr DWORD VALUE_NAME_UNITS = 16384; // room for the longest registry value name
constexpr DWORD VALUE_DATA_BYTES = 1024;  // room for a value's data
constexpr DWORD PROBE_RECEIVE_BYTES = 8192;
constexpr int32_t PORT_UNUSABLE = INT32_MIN; // port number of an entry that cannot be probed

wchar_t value_name[VALUE_NAME_UNITS];
uint8_t probe_receive[PROBE_RECEIVE_BYTES];

int32_t read_port_number(HKEY key, DWORD index) {
    DWORD name_units = VALUE_NAME_UNITS;
    value_name[0] = 0;
    if (RegEnumValueW(key, index, value_name, &name_units, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
        return PORT_UNUSABLE;
    }
    char16_t data[VALUE_DATA_BYTES / 2] = {};
    DWORD data_bytes = VALUE_DATA_BYTES;
    if (RegQueryValueExW(key, value_name, nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                         &data_bytes) != ERROR_SUCCESS) {
        return PORT_UNUSABLE; // includes data that does not fit the buffer
    }
    return port_number_parse(data, data_bytes / 2);
}

void close_entry(PortEntry* entry) {
    CloseHandle(entry->handle);
    memset(entry, 0, sizeof(*entry));
}

void send_identify(HANDLE handle) {
    uint8_t request[LINK_FRAME_OVERHEAD];
    const size_t length = frame_build(request, sizeof(request), CMD_IDENTIFY, 0);
    serial_write(handle, request, static_cast<DWORD>(length));
}

// The link worker could not be started: the connection is given up the way the worker's own
// exit would end it, so that no port stays open with nobody behind it, the form is not left
// editable, and the next scan tick looks for the controller again.
void give_up_connection() {
    status_log_line(u"Ошибка запуска потока обмена с контроллером.\r\n");
    connection_release();
    link_flags_clear(LINK_IDENTIFIED | LINK_WORKER_RUNS);
}

} // namespace

uintptr_t(__cdecl* link_thread_start)(void(__cdecl*)(void*), unsigned, void*) = _beginthread;

void connect_controller(PortEntry* entry, const IdentAnswer* answer) {
    // Only this thread sets the bit, and the worker clears it as the last step of its exit: while
    // it is set, a worker runs or is still ending, and this port waits for a later pass.
    if (link_flags_test(LINK_IDENTIFIED)) {
        close_entry(entry);
        return;
    }
    link_flags_set(LINK_IDENTIFIED);
    memcpy(app.ident_text, answer->text, sizeof(app.ident_text));
    app.ident_text[sizeof(app.ident_text) - 1] = 0;
    const HANDLE active = entry->handle;
    app.active_port = active;
    wcsncpy(app.active_port_name, entry->device_name, ACTIVE_PORT_NAME_UNITS - 1);
    app.active_port_name[ACTIVE_PORT_NAME_UNITS - 1] = 0;
    app.active_port_number = entry->port_number;
    app.board_revision = answer->board_revision;
    if (app.board_revision == IDENT_SUPPORTED_REVISION) {
        set_form_lock(0);
        SendMessageW(app.dialog, WM_APP_LOG, 0,
                     reinterpret_cast<LPARAM>(L"Контроллер подключен.\r\n"));
    } else {
        SendMessageW(app.dialog, WM_APP_LOG, 0,
                     reinterpret_cast<LPARAM>(L"BOARD REVISION: It isn't known!\r\n"));
    }
    // A controller command clicked while nothing was connected, or left over by a connection
    // that failed during its transfer, was meant for that moment: it is not carried out on
    // whatever controller is plugged in now.
    pending_commands_clear();
    link_flags_set(LINK_WORKER_RUNS);
    if (link_thread_start(link_worker, 0, app.dialog) == static_cast<uintptr_t>(-1)) {
        give_up_connection();
    } else {
        SetTimer(app.dialog, TIMER_POLL, POLL_PERIOD_MS, nullptr);
    }
    for (uint32_t k = 0; k < app.port_entry_count; ++k) {
        PortEntry* other = &app.ports[k];
        uint32_t id = 0;
        if (port_probe_timer_id(other->port_number, &id)) {
            KillTimer(app.dialog, id);
        }
        if (other->handle != nullptr && other->handle != active) {
            CloseHandle(other->handle);
        }
        other->handle = nullptr; // the active port now belongs to the link worker (or is closed)
    }
}

uint32_t enumerate_ports(HKEY key) {
    DWORD values = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return 0;
    }
    if (static_cast<int64_t>(values) != cell_load(&app.last_port_count)) {
        cell_store(&app.last_port_count, static_cast<int32_t>(values));
        ui_log_format_int(u"Количество COM-портов: %d\r\n", static_cast<int32_t>(values));
    }
    if (values == 0 || link_flags_test(LINK_PORTS_PROBING | LINK_IDENTIFIED)) {
        return 0;
    }
    link_flags_set(LINK_PORTS_PROBING);
    // The table has room for PORT_TABLE_ENTRIES ports; any further ones are not probed.
    const uint32_t count = values < PORT_TABLE_ENTRIES ? values : PORT_TABLE_ENTRIES;
    app.port_entry_count = count;
    for (uint32_t i = 0; i < count; ++i) {
        app.ports[i].port_number = read_port_number(key, i);
    }
    return values;
}

int probe_ports() {
    int probed = 0;
    for (uint32_t i = 0; i < app.port_entry_count; ++i) {
        PortEntry* entry = &app.ports[i];
        uint32_t timer_id = 0;
        if (!port_probe_timer_id(entry->port_number, &timer_id)) {
            continue;
        }
        char16_t name[TEXT_LINE_UNITS];
        port_device_name(name, TEXT_LINE_UNITS, entry->port_number);
        HANDLE handle = nullptr;
        if (serial_open(reinterpret_cast<const wchar_t*>(name), &handle) != 0) {
            continue;
        }
        entry->handle = handle;
        memcpy(entry->device_name, name,
               sizeof(name) < sizeof(entry->device_name) ? sizeof(name)
                                                         : sizeof(entry->device_name));
        send_identify(handle);
        SetTimer(app.dialog, timer_id, PROBE_PERIOD_MS, nullptr);
        cell_store(&app.scan_ticks, 0);
        ++probed;
    }
    return probed;
}

void scan_ports() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return;
    }
    if (!link_flags_test(LINK_PORTS_PROBING)) {
        enumerate_ports(key);
        // The ports of a connection that runs, or whose worker is still ending, are left alone.
        if (!link_flags_test(LINK_IDENTIFIED)) {
            probe_ports();
        }
    }
    RegCloseKey(key);
}

void handle_probe_timer(UINT_PTR id) {
    for (uint32_t j = 0; j < app.port_entry_count; ++j) {
        PortEntry* entry = &app.ports[j];
        uint32_t entry_id = 0;
        if (entry->handle == nullptr || !port_probe_timer_id(entry->port_number, &entry_id) ||
            entry_id != id) {
            continue;
        }
        const DWORD n = serial_read(entry->handle, probe_receive, PROBE_RECEIVE_BYTES);
        if (n == 0) {
            close_entry(entry);
            continue;
        }
        cell_store(&app.scan_ticks, 0);
        link_flags_clear(LINK_PORTS_PROBING);
        IdentAnswer answer{};
        if (!ident_parse(probe_receive, PROBE_RECEIVE_BYTES, n, &answer)) {
            close_entry(entry);
            continue;
        }
        connect_controller(entry, &answer);
    }
    KillTimer(app.dialog, id);
}
