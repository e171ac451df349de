// Closing the main window (WM_CLOSE, and the cancel command through it).
//
// To the user the window goes at once: it is hidden first, and no later start hands it a file.
// A connection that runs is then given up to CLOSE_WAIT_MS to end by itself: the worker finishes
// the request under way (a settings write cut off mid-frame would be lost on a real adapter),
// carries out a write clicked before the close (and reads it back), closes the port and ends.
// The wait covers the slowest such ending: a line whose handshake holds every write for the
// whole write time-out, during a settings read and again for the write and the read-back that
// follow it. Meanwhile this thread keeps
// dispatching messages, because the worker's requests are timed by this window's timer and its
// form transfers and log lines are carried out here while it waits. This thread holds nothing
// the worker needs, and only watches the running bit, which the worker clears as it ends.
//
// Then the old file of a save that another program held open at the time is removed, if it
// still stands beside the new one, and the window is destroyed and the message loop ends. A
// worker still running after the wait is told to stop, so that it sends nothing more: its
// requests would be timed by a window that no longer exists, and a write could not gather the
// form. It ends with the process.
#include "app/app_state.h"
#include "app/main_dialog.h"
#include "app/window_handover.h"
#include "link/link_timing.h"
#include "settings/file_replace.h"

namespace {

// One request on a slow line: its write held for the write time-out, its answer window, and the
// read after it waiting out the read time-out.
constexpr DWORD request_ms(int32_t reply_ms) {
    return static_cast<DWORD>(LINK_WRITE_TIMEOUT_MS + reply_ms + LINK_READ_TIMEOUT_MS);
}

constexpr DWORD CLOSE_SLACK_MS = 500; // the worker's own work and its messages to this thread
// The longest a close waits for the connection to end: a settings read under way, the read
// between two requests, and a settings write clicked before the close, with the read between it
// and its read-back, and the read-back.
constexpr DWORD CLOSE_WAIT_MS = request_ms(LINK_READ_REPLY_MS) + LINK_READ_TIMEOUT_MS +
                                request_ms(LINK_WRITE_REPLY_MS) + LINK_READ_TIMEOUT_MS +
                                request_ms(LINK_READ_REPLY_MS) + CLOSE_SLACK_MS;
constexpr DWORD CLOSE_LOOK_MS = 10; // how often the running bit is looked at meanwhile

void dispatch_waiting_messages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            continue; // the close posts its own quit message once it is done
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void wait_for_connection_end() {
    const ULONGLONG end = GetTickCount64() + CLOSE_WAIT_MS;
    for (;;) {
        dispatch_waiting_messages();
        const ULONGLONG now = GetTickCount64();
        if (!link_flags_test(LINK_WORKER_RUNS) || now >= end) {
            return;
        }
        const DWORD left = static_cast<DWORD>(end - now);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, left < CLOSE_LOOK_MS ? left : CLOSE_LOOK_MS,
                                  QS_ALLINPUT);
    }
}

} // namespace

// A modeless dialog ends by being destroyed; EndDialog is meant for modal dialogs and would only
// hide this one. Timers die with the window.
void main_dialog_close(HWND dialog) {
    if (link_flags_test(LINK_CLOSING)) {
        return; // already closing: a second close while waiting changes nothing
    }
    link_flags_set(LINK_CLOSING);
    handover_unmark(dialog);
    ShowWindow(dialog, SW_HIDE);
    if (link_flags_test(LINK_WORKER_RUNS)) {
        wait_for_connection_end();
    }
    link_flags_clear(LINK_WORKER_RUNS);
    file_replace_tidy();
    DestroyWindow(dialog);
    PostQuitMessage(0);
}
