// The request/reply transaction of the link worker.
//
// The reply window is timed by TIMER_REPLY on the main dialog: the worker starts it, then spins
// until the user-interface thread, on that timer's message, sets LINK_REPLY_ELAPSED. The spin
// reads the flags word atomically on every turn and neither sleeps nor reads the port; bytes that
// arrive meanwhile wait in the port driver's queue and are taken in by one read after the window.
// The user-interface thread must keep dispatching messages during the window, or the spin does
// not end; it never waits for the worker.
#include "link/transact.h"

#include "app/app_state.h"
#include "link/frame.h"
#include "link/serial.h"

void link_receive() {
    const DWORD got =
        serial_read(app.active_port, app.rx_temp, static_cast<DWORD>(LINK_BUFFER_BYTES));
    if (got == 0) {
        return;
    }
    frame_receive_append(app.rx, LINK_BUFFER_BYTES, &app.received_count, &app.frame_start,
                         app.rx_temp, got);
}

int link_transact() {
    const size_t length = frame_build(app.tx, LINK_BUFFER_BYTES, app.command, app.payload_length);
    serial_write(app.active_port, app.tx, static_cast<DWORD>(length));
    app.received_count = 0;
    app.frame_start = 0;
    link_flags_clear(LINK_REPLY_ELAPSED);
    SetTimer(app.dialog, TIMER_REPLY, static_cast<UINT>(app.reply_timeout), nullptr);
    while (!link_flags_test(LINK_REPLY_ELAPSED)) {
        YieldProcessor(); // a pause hint for the processor; the loop still spins
    }
    KillTimer(app.dialog, TIMER_REPLY);
    link_receive();
    return app.received_count != 0 ? 0 : -1;
}
