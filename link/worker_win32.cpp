// The link worker: one connection with an identified controller.
//
// Each pass polls the sensors when TIMER_POLL has said a poll is due, drains what arrived in
// between, and carries out a settings read or write that the controller buttons asked for. The
// first request that gets no reply ends the connection: the exit sequence closes the port, locks
// the form and hands control back to port scanning.
//
// The worker never touches a control or the SettingsTable itself. Everything on the window side
// is sent to the user-interface thread with SendMessageW, and a form transfer is ONE message:
// the user-interface thread gathers the whole form into the table (or unpacks a payload into the
// table and shows the whole table) while the worker waits. A file save or load, which also runs on
// that thread, therefore never lands in the middle of a controller transfer, no lock is needed,
// and nothing is held while the two threads talk.
#include "link/worker.h"

#include <process.h>

#include <cstdlib>
#include <cstring>

#include "app/app_state.h"
#include "link/frame.h"
#include "link/status_reply.h"
#include "link/transact.h"
#include "link/wire_image.h"
#include "settings/form.h"

namespace {

// The worker's own formatting buffers; the user-interface thread formats in the UiRecord.
char16_t reading_text[3][LOG_LINE_UNITS];

void worker_log(const wchar_t* line) {
    SendMessageW(app.dialog, WM_APP_LOG, 0, reinterpret_cast<LPARAM>(line));
}

void set_text(size_t slot, const char16_t* text) {
    SendMessageW(app.ui->slots[slot], WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

// Shows the readings of a status reply, when all of its fields have arrived.
void show_readings() {
    const uint32_t count = app.received_count < LINK_BUFFER_BYTES
                               ? app.received_count
                               : static_cast<uint32_t>(LINK_BUFFER_BYTES);
    StatusReadings readings{};
    if (!status_reply_parse(app.rx_temp, count, &readings)) {
        return;
    }
    app.raw_light = readings.raw_light;
    app.distance1 = readings.distance1;
    app.distance2 = readings.distance2;
    app.fault_bits = readings.fault_bits;
    status_reading_texts(&readings, reading_text[0], reading_text[1], reading_text[2]);
    set_text(SLOT_ILLUMINANCE, reading_text[0]);
    set_text(SLOT_DISTANCE1, reading_text[1]);
    set_text(SLOT_DISTANCE2, reading_text[2]);
}

int poll_status() {
    link_flags_clear(LINK_POLL_DUE);
    app.reply_timeout = 100;
    app.payload_length = 0;
    app.command = CMD_GET_STATUS;
    if (link_transact() != 0) {
        return -1;
    }
    show_readings();
    return 0;
}

int write_settings() {
    app.payload_length = WIRE_IMAGE_BYTES;
    app.command = CMD_WRITE_SETTINGS;
    float table[SETTINGS_COUNT];
    SendMessageW(app.dialog, WM_APP_FORM_TO_TABLE, 0, reinterpret_cast<LPARAM>(table));
    wire_image_pack(table, app.tx + 4);
    app.reply_timeout = 100;
    if (link_transact() != 0) {
        return -1;
    }
    worker_log(L"Данные записаны в контроллер.\r\n");
    return 0;
}

int read_settings() {
    app.reply_timeout = 500;
    app.payload_length = 0;
    app.command = CMD_READ_SETTINGS;
    if (link_transact() != 0) {
        return -1;
    }
    // Only a complete payload whose own checksum holds is taken: a short reply would otherwise
    // be completed from stale buffer bytes.
    size_t start = 0;
    const size_t available =
        frame_payload_received(LINK_BUFFER_BYTES, app.received_count, app.frame_start, &start);
    if (wire_image_valid(app.rx + start, available)) {
        SendMessageW(app.dialog, WM_APP_TABLE_FROM_CONTROLLER, 0,
                     reinterpret_cast<LPARAM>(app.rx + start));
        worker_log(L"Данные прочитаны из контроллера.\r\n");
    } else {
        worker_log(L"Ошибка чтения данных из контроллера.\r\n");
    }
    return 0;
}

bool allocate_buffers() {
    app.rx = static_cast<uint8_t*>(malloc(LINK_BUFFER_BYTES));
    if (app.rx == nullptr) {
        worker_log(L"Error of allocation of memory on the RX buffer\r\n");
        return false;
    }
    app.tx = static_cast<uint8_t*>(malloc(LINK_BUFFER_BYTES));
    if (app.tx == nullptr) {
        worker_log(L"Error of allocation of memory on the TX buffer\r\n");
        return false;
    }
    app.rx_temp = static_cast<uint8_t*>(malloc(LINK_BUFFER_BYTES));
    if (app.rx_temp == nullptr) {
        worker_log(L"Error of allocation of memory on the RX_TEMP buffer\r\n");
        return false;
    }
    app.received_count = 0;
    app.payload_length = 0;
    memset(app.rx, 0, LINK_BUFFER_BYTES);
    memset(app.tx, 0, LINK_BUFFER_BYTES);
    memset(app.rx_temp, 0, LINK_BUFFER_BYTES);
    return true;
}

void exit_sequence() {
    CloseHandle(app.active_port);
    app.scan_ticks = 10;
    app.last_port_count = -1;
    set_form_lock(1);
    app.active_port_name[0] = 0;
    app.active_port = nullptr;
    app.active_port_number = 0;
    app.ident_text[0] = 0;
    app.board_revision = 0;
    link_flags_clear(LINK_IDENTIFIED);
    free(app.rx);
    free(app.tx);
    free(app.rx_temp);
    app.rx = app.tx = app.rx_temp = nullptr;
    link_flags_clear(LINK_WORKER_RUNS);
    link_flags_set(LINK_WORKER_DONE);
    KillTimer(app.dialog, TIMER_POLL);
    SetTimer(app.dialog, TIMER_SCAN, SCAN_PERIOD_MS, nullptr);
}

// One pass; false when the connection has ended.
bool run_pass() {
    if (link_flags_test(LINK_POLL_DUE) && poll_status() != 0) {
        worker_log(L"Контроллер отключен.\r\n");
        return false;
    }
    link_receive();
    const int32_t command = pending_command_get();
    int result = 0;
    if (command == PENDING_WRITE_SETTINGS) {
        result = write_settings();
    } else if (command == PENDING_READ_SETTINGS) {
        result = read_settings();
    }
    if (result != 0) {
        worker_log(L"Контроллер отключен.\r\n");
        return false;
    }
    pending_command_set(PENDING_NONE);
    return link_flags_test(LINK_WORKER_RUNS);
}

} // namespace

void __cdecl link_worker(void*) {
    if (allocate_buffers() && link_flags_test(LINK_WORKER_RUNS)) {
        while (run_pass()) {
        }
    }
    exit_sequence();
    _endthread();
}
