// The start of a connection once a controller has answered, against the real dialog: when the
// link worker thread cannot be started, the connection is given up instead of being left half
// made (identified, the form unlocked, the port held, and no worker to poll or ever end it).
#include <process.h>

#include <cstring>

#include "link/ports.h"
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

} // namespace
