// The link worker: one connection with an identified controller.
//
// The worker runs the passes of worker_pass.cpp until a request gets no reply, then the exit
// sequence closes the port, locks the form, gives back the buffers and the poll timer, and last
// hands control back to port scanning (worker.h has the order).
//
// The worker never touches a control or the SettingsTable itself. Everything on the window side
// is sent to the user-interface thread with SendMessageW, and a form transfer is ONE message:
// the user-interface thread gathers the whole form into the table (or unpacks a checked payload
// into the table and shows the whole table) while the worker waits. A file save or load, which
// also runs on that thread, therefore never lands in the middle of a controller transfer, no
// lock is needed, and nothing is held while the two threads talk.
#include "link/worker.h"

#include <process.h>

#include <cstdlib>
#include <cstring>

#include "app/app_state.h"
#include "link/frame.h"
#include "link/status_reply.h"
#include "link/transact.h"
#include "link/wire_image.h"
#include "link/worker_pass.h"
#include "settings/form.h"
#include "settings/status_reading_text.h"

namespace {

// The worker's own formatting buffers; the user-interface thread formats in the UiRecord.
char16_t reading_text[3][TEXT_LINE_UNITS];

// The payload of the last settings write, for the comparison with the settings read back.
uint8_t sent_image[WIRE_IMAGE_BYTES];

void worker_log(void*, const char16_t* line) {
    SendMessageW(app.dialog, WM_APP_LOG, 0, reinterpret_cast<LPARAM>(line));
}

void set_text(size_t slot, const char16_t* text) {
    SendMessageW(app.ui->slots[slot], WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

int worker_transact(void*, int32_t command, int32_t payload_length, int32_t timeout_ms) {
    app.command = command;
    app.payload_length = payload_length;
    app.reply_timeout = timeout_ms;
    return link_transact();
}

void worker_receive(void*) {
    link_receive();
}

// Shows the readings of a status reply, when all of its fields have arrived.
void worker_show_status(void*) {
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

// Packs the form for a settings write. The copy starts zeroed and unfilled; if the window is
// already gone the message is never carried out, the copy stays unfilled, and nothing is packed.
// A form that failed its check comes back refused: the user-interface thread has logged why.
WriteReady worker_prepare_write(void*) {
    FormCopy copy{};
    SendMessageW(app.dialog, WM_APP_FORM_TO_TABLE, 0, reinterpret_cast<LPARAM>(&copy));
    if (!copy.filled) {
        return WRITE_NO_FORM;
    }
    if (copy.refused) {
        return WRITE_REFUSED;
    }
    wire_image_pack(copy.values, app.tx + LINK_FRAME_PAYLOAD_AT);
    memcpy(sent_image, app.tx + LINK_FRAME_PAYLOAD_AT, WIRE_IMAGE_BYTES);
    return WRITE_PACKED;
}

// Where the payload of the settings reply just received stands in RX, and whether it is whole.
const uint8_t* settings_reply(bool* whole) {
    size_t start = 0;
    const size_t available =
        frame_payload_received(LINK_BUFFER_BYTES, app.received_count, app.frame_start, &start);
    *whole = wire_image_valid(app.rx + start, available);
    return app.rx + start;
}

// The read-back is compared, never shown: the form stays as the user left it.
WriteCheck worker_check_written(void*) {
    bool whole = false;
    const uint8_t* payload = settings_reply(&whole);
    if (!whole) {
        return WRITE_UNREAD;
    }
    return memcmp(payload, sent_image, WIRE_IMAGE_BYTES) == 0 ? WRITE_HELD : WRITE_NOT_HELD;
}

bool worker_take_settings(void*) {
    bool whole = false;
    const uint8_t* payload = settings_reply(&whole);
    if (!whole) {
        return false;
    }
    SendMessageW(app.dialog, WM_APP_TABLE_FROM_CONTROLLER, 0, reinterpret_cast<LPARAM>(payload));
    return true;
}

const WorkerOps worker_ops = {nullptr,
                              worker_transact,
                              worker_receive,
                              worker_show_status,
                              worker_prepare_write,
                              worker_take_settings,
                              worker_log,
                              worker_check_written};

bool allocate_buffers() {
    app.rx = static_cast<uint8_t*>(malloc(LINK_BUFFER_BYTES));
    if (app.rx == nullptr) {
        worker_log(nullptr, u"Error of allocation of memory on the RX buffer\r\n");
        return false;
    }
    app.tx = static_cast<uint8_t*>(malloc(LINK_BUFFER_BYTES));
    if (app.tx == nullptr) {
        worker_log(nullptr, u"Error of allocation of memory on the TX buffer\r\n");
        return false;
    }
    app.rx_temp = static_cast<uint8_t*>(malloc(LINK_BUFFER_BYTES));
    if (app.rx_temp == nullptr) {
        worker_log(nullptr, u"Error of allocation of memory on the RX_TEMP buffer\r\n");
        return false;
    }
    app.received_count = 0;
    app.payload_length = 0;
    memset(app.rx, 0, LINK_BUFFER_BYTES);
    memset(app.tx, 0, LINK_BUFFER_BYTES);
    memset(app.rx_temp, 0, LINK_BUFFER_BYTES);
    return true;
}

void exit_step(WorkerExitStep taken) {
    if (link_exit_watch != nullptr) {
        link_exit_watch(taken);
    }
}

// The order is the one of WorkerExitStep: whatever this worker holds is given back before
// LINK_IDENTIFIED, the bit that keeps a scan from starting the next one, is cleared.
void exit_sequence() {
    connection_release();
    exit_step(EXIT_PORT_RELEASED);
    free(app.rx);
    free(app.tx);
    free(app.rx_temp);
    app.rx = app.tx = app.rx_temp = nullptr;
    exit_step(EXIT_BUFFERS_FREED);
    link_flags_clear(LINK_WORKER_RUNS);
    link_flags_set(LINK_WORKER_DONE);
    exit_step(EXIT_RUNNING_CLEARED);
    KillTimer(app.dialog, TIMER_POLL);
    exit_step(EXIT_POLL_KILLED);
    SetTimer(app.dialog, TIMER_SCAN, SCAN_PERIOD_MS, nullptr);
    exit_step(EXIT_SCAN_STARTED);
    link_flags_clear(LINK_IDENTIFIED);
    exit_step(EXIT_IDENTIFIED_CLEARED);
}

} // namespace

void (*link_exit_watch)(WorkerExitStep taken) = nullptr;

void connection_release() {
    CloseHandle(app.active_port);
    // Both are the user-interface thread's counters: stored atomically from either thread.
    cell_store(&app.scan_ticks, 10);      // the next scan tick scans at once
    cell_store(&app.last_port_count, -1); // and logs the port count again
    set_form_lock(1);
    app.active_port_name[0] = 0;
    app.active_port = nullptr;
    app.active_port_number = 0;
    app.ident_text[0] = 0;
    app.board_revision = 0;
}

void __cdecl link_worker(void*) {
    if (allocate_buffers() && link_flags_test(LINK_WORKER_RUNS)) {
        while (worker_pass(&app.link_flags, &app.pending_commands, &worker_ops) == PASS_CONTINUE) {
        }
    }
    exit_sequence();
    _endthread();
}
