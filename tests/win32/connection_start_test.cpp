// The start and the end of a connection, against the real dialog: when the link worker thread
// cannot be started, the connection is given up instead of being left half made (identified, the
// form unlocked, the port held, and no worker to poll or ever end it); and no connection starts
// while the worker of the last one is still ending.
#include <process.h>

#include <cstring>

#include "link/ports.h"
#include "link/worker.h"
#include "main_dialog_fixture.h"
#include "resources/resource_ids.h"

namespace {

using ConnectionStartTest = MainDialogTest;

uintptr_t __cdecl failing_thread_start(void(__cdecl*)(void*), unsigned, void*) {
    return static_cast<uintptr_t>(-1);
}

TEST_F(ConnectionStartTest, AWorkerThatCannotStartGivesTheConnectionUp) {
    // An event handle stands for the controller's open port; a second probed port is open too.
    HANDLE port = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE other = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(port != nullptr && other != nullptr);
    app.ports[0] = PortEntry{port, L"COM5", 5};
    app.ports[1] = PortEntry{other, L"COM7", 7};
    app.port_entry_count = 2;
    app.scan_ticks = 0;
    IdentAnswer answer{};
    strcpy(answer.text, "VORK, kavren board v5.000");
    answer.board_revision = 5000;

    link_thread_start = failing_thread_start;
    connect_controller(&app.ports[0], &answer);
    link_thread_start = _beginthread;

    EXPECT_EQ(window_text(item(IDC_STATUS_LOG)),
              u"Контроллер подключен.\r\nОшибка запуска потока обмена с контроллером.\r\n");
    DWORD info = 0;
    EXPECT_FALSE(GetHandleInformation(port, &info)) << "the controller's port is still open";
    EXPECT_FALSE(GetHandleInformation(other, &info)) << "the other probed port is still open";
    EXPECT_EQ(link_flags_get() & (LINK_IDENTIFIED | LINK_WORKER_RUNS), 0u);
    EXPECT_EQ(app.active_port, nullptr);
    EXPECT_EQ(app.active_port_name[0], 0);
    EXPECT_EQ(app.ident_text[0], 0);
    EXPECT_EQ(app.board_revision, 0);
    EXPECT_TRUE(has_style(position_window(POS_SENSOR1_MIN), ES_READONLY));
    EXPECT_EQ(app.scan_ticks, 10); // the next scan tick looks for the controller again
    pump_for(500);
    EXPECT_FALSE(link_flags_test(LINK_POLL_DUE)) << "a poll timer runs with no worker";
}

// The worker's exit, stopped after each of its steps until the test has looked at the state.
HANDLE exit_paused, exit_resume;
WorkerExitStep exit_taken;
int thread_starts = 0;

// A controller answers a probe after each step of a worker's exit. As long as "identified" is
// set, no connection starts and the answering port is closed, to be found on a later pass: a
// second worker would lose its buffers and its poll timer to the first. Once the bit is clear,
// the first worker has given everything back, and a connection starts.
TEST_F(ConnectionStartTest, NoConnectionStartsUntilTheEndingWorkerHoldsNothing) {
    exit_paused = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    exit_resume = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    link_exit_watch = [](WorkerExitStep taken) {
        exit_taken = taken;
        SignalObjectAndWait(exit_paused, exit_resume, 10000, FALSE);
    };
    link_thread_start = [](void(__cdecl*)(void*), unsigned, void*) -> uintptr_t {
        return ++thread_starts;
    };
    app.active_port = CreateEventW(nullptr, TRUE, FALSE, nullptr); // stands for the port
    // Identified, and the running bit clear: the worker goes from its buffers to its exit.
    link_flags_set(LINK_IDENTIFIED);
    SetTimer(dialog, TIMER_POLL, 60000, nullptr); // as the connection started it; never fires here
    ASSERT_NE(_beginthread(link_worker, 0, nullptr), static_cast<uintptr_t>(-1));
    IdentAnswer answer{"VORK, kavren board v5.000", 5000};
    for (bool identified = true; identified;) {
        DWORD woke;
        while ((woke = MsgWaitForMultipleObjects(1, &exit_paused, FALSE, 10000, QS_ALLINPUT)) ==
               WAIT_OBJECT_0 + 1)
            pump_messages(); // the worker locks the form through this thread
        ASSERT_EQ(woke, WAIT_OBJECT_0) << "the worker did not reach its next step";
        identified = link_flags_test(LINK_IDENTIFIED);
        if (!identified) { // the worker must hold nothing any more
            EXPECT_EQ(exit_taken, EXIT_IDENTIFIED_CLEARED);
            EXPECT_TRUE(app.rx == nullptr && app.tx == nullptr && app.rx_temp == nullptr);
            EXPECT_FALSE(link_flags_test(LINK_WORKER_RUNS));
            EXPECT_FALSE(KillTimer(dialog, TIMER_POLL)) << "its poll timer still runs";
        }
        HANDLE answering = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        app.ports[0] = PortEntry{answering, L"COM7", 7};
        app.port_entry_count = 1;
        connect_controller(&app.ports[0], &answer);
        DWORD info = 0;
        EXPECT_EQ(thread_starts, identified ? 0 : 1) << "after step " << exit_taken;
        EXPECT_EQ(GetHandleInformation(answering, &info) != 0, !identified) << exit_taken;
        SetEvent(exit_resume);
    }
    link_exit_watch = nullptr;
    link_thread_start = _beginthread;
    KillTimer(dialog, TIMER_POLL); // the new connection's
    EXPECT_EQ(window_text(item(IDC_STATUS_LOG)), u"Контроллер подключен.\r\n");
}

} // namespace
