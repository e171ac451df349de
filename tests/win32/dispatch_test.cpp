// The main dialog's dispatch: button commands, the four kinds of timer, the status log and
// closing, driven through the real window procedure.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "app/status_log.h"
#include "app/window_handover.h"
#include "link/link_timing.h"
#include "link/worker_pass.h"
#include "main_dialog_fixture.h"
#include "resources/resource_ids.h"
#include "settings/form.h"
#include "settings/settings_file.h"

namespace {

using DispatchTest = MainDialogTest;

void command(HWND dialog, int id) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

void timer(HWND dialog, UINT_PTR id) {
    SendMessageW(dialog, WM_TIMER, id, 0);
}

std::u16string log_text(HWND dialog) {
    return window_text(GetDlgItem(dialog, IDC_STATUS_LOG));
}

void log_line(HWND dialog, const std::u16string& text) {
    SendMessageW(dialog, WM_APP_LOG, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

TEST_F(DispatchTest, DefaultsCommandRestoresTheFormAndLogsIt) {
    HWND on_delay = position_window(channel_position(COL_ON_DELAY, 2));
    HWND standby = position_window(channel_position(COL_STANDBY_ENABLED, 2));
    set_window_text(on_delay, u"999");
    SendMessageW(standby, BM_SETCHECK, BST_CHECKED, 0);
    command(dialog, IDC_LOAD_DEFAULTS);
    EXPECT_EQ(window_text(on_delay), u"50");
    EXPECT_EQ(SendMessageW(standby, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(log_text(dialog), u"Восстановлены значения по умолчанию.\r\n");
    command(dialog, IDC_LOAD_DEFAULTS);
    EXPECT_EQ(log_text(dialog), u"Восстановлены значения по умолчанию.\r\n"
                                u"Восстановлены значения по умолчанию.\r\n");
    // Restoring defaults does not unlock the form.
    EXPECT_TRUE(has_style(on_delay, ES_READONLY));
    EXPECT_FALSE(has_style(standby, WS_VISIBLE));
}

// The controller buttons queue their commands, in the order clicked, while a connection runs; a
// click beyond the eight waiting is not carried out, and the log says which. With nothing
// connected a click is not kept: the next connection would carry it out on whatever controller
// is plugged in then.
TEST_F(DispatchTest, ControllerButtonsQueueTheirCommandsWhileConnected) {
    command(dialog, IDC_DEVICE_READ);
    EXPECT_EQ(command_queue_take(&app.pending_commands), PENDING_NONE);
    link_flags_set(LINK_WORKER_RUNS);
    const int clicks[] = {IDC_DEVICE_READ,  IDC_DEVICE_WRITE, IDC_DEVICE_READ, IDC_DEVICE_READ,
                          IDC_DEVICE_WRITE, IDC_DEVICE_WRITE, IDC_DEVICE_READ, IDC_DEVICE_WRITE};
    for (int id : clicks)
        command(dialog, id);
    command(dialog, 999); // unknown commands change nothing
    EXPECT_EQ(log_text(dialog), u"");
    command(dialog, IDC_DEVICE_WRITE);
    EXPECT_EQ(log_text(dialog), u"Нажатие «Записать» в группе «Настройки» пропущено: ещё не "
                                u"выполнены 8 предыдущих.\r\n");
    for (int id : clicks)
        EXPECT_EQ(command_queue_take(&app.pending_commands),
                  id == IDC_DEVICE_READ ? PENDING_READ_SETTINGS : PENDING_WRITE_SETTINGS);
    EXPECT_EQ(command_queue_take(&app.pending_commands), PENDING_NONE);
    link_flags_clear(LINK_WORKER_RUNS);
}

TEST_F(DispatchTest, PollAndReplyTimersSetTheirBits) {
    timer(dialog, TIMER_POLL);
    EXPECT_EQ(link_flags_get(), LINK_POLL_DUE);
    timer(dialog, TIMER_REPLY);
    EXPECT_EQ(link_flags_get(), LINK_POLL_DUE | LINK_REPLY_ELAPSED);
    timer(dialog, TIMER_PROBE_BASE + 7); // a probe timer leaves the bits alone
    EXPECT_EQ(link_flags_get(), LINK_POLL_DUE | LINK_REPLY_ELAPSED);
}

// The reply timer fires once: its handler kills it.
TEST_F(DispatchTest, ReplyTimerIsKilledByItsFirstMessage) {
    SetTimer(dialog, TIMER_REPLY, 30, nullptr);
    pump_for(150);
    EXPECT_TRUE(link_flags_test(LINK_REPLY_ELAPSED));
    link_flags_clear(LINK_REPLY_ELAPSED);
    pump_for(200);
    EXPECT_FALSE(link_flags_test(LINK_REPLY_ELAPSED));
}

// Counter 10 after start-up: the first tick scans; afterwards every fourth tick does.
TEST_F(DispatchTest, ScanTicksScanAtOnceThenEveryFourth) {
    const int expected_after[] = {0, 1, 2, 3, 0, 1, 2, 3, 0};
    const bool scanned[] = {true, false, false, false, true, false, false, false, true};
    for (size_t i = 0; i < std::size(expected_after); ++i) {
        // A scan pass logs the port count when it differs from the last one logged: with an
        // impossible last count, the count changes exactly when a pass runs.
        app.last_port_count = -2;
        timer(dialog, TIMER_SCAN);
        EXPECT_EQ(app.scan_ticks, expected_after[i]) << "tick " << i;
        EXPECT_EQ(app.last_port_count != -2, scanned[i]) << "tick " << i;
    }
}

// Every timer message restarts the scan period, so a running poll timer keeps the scan tick
// from ever coming; once the poll timer is gone, the scan tick comes about a second later.
TEST_F(DispatchTest, PollTimerHoldsOffTheScanTick) {
    app.scan_ticks = 0;
    link_flags_set(LINK_WORKER_RUNS); // as during a connection
    SetTimer(dialog, TIMER_POLL, POLL_PERIOD_MS, nullptr);
    pump_for(1800);
    EXPECT_EQ(app.scan_ticks, 0);
    EXPECT_TRUE(link_flags_test(LINK_POLL_DUE));
    KillTimer(dialog, TIMER_POLL);
    DWORD killed = GetTickCount();
    while (app.scan_ticks == 0 && GetTickCount() - killed < 3000)
        pump_for(10);
    DWORD waited = GetTickCount() - killed;
    EXPECT_EQ(app.scan_ticks, 1);
    // The last poll message restarted the scan period at most one poll period before the kill.
    EXPECT_GE(waited, SCAN_PERIOD_MS - POLL_PERIOD_MS - 50);
}

// A poll tick handled after the worker has ended does not re-arm the poll timer: scanning comes
// back instead of being held off for good.
TEST_F(DispatchTest, PollTickWithNoWorkerLeavesNoPollTimer) {
    app.scan_ticks = 0;
    SetTimer(dialog, TIMER_POLL, POLL_PERIOD_MS, nullptr);
    DWORD start = GetTickCount();
    while (app.scan_ticks == 0 && GetTickCount() - start < 3000)
        pump_for(10);
    EXPECT_EQ(app.scan_ticks, 1);
}

TEST_F(DispatchTest, LogAppendsUntilTheBufferWouldReach32765Bytes) {
    // 16000 + 382 units = 32764 bytes: still appended.
    std::u16string first(16000, u'a');
    std::u16string second(382, u'b');
    log_line(dialog, first);
    log_line(dialog, second);
    std::u16string shown = log_text(dialog);
    ASSERT_EQ(shown.size(), 16382u);
    EXPECT_EQ(shown, first + second);
    // One more unit would make 32766 bytes: the log is replaced by the new line alone.
    log_line(dialog, u"c");
    EXPECT_EQ(log_text(dialog), u"c");
    // A line longer than the whole buffer replaces the log, cut to what the buffer holds.
    std::u16string huge(20000, u'd');
    log_line(dialog, huge);
    EXPECT_EQ(log_text(dialog), huge.substr(0, 16382));
    log_line(dialog, u"e");
    EXPECT_EQ(log_text(dialog), u"e");
}

// A line cut to 99 units keeps the drive and the file name of its path, its closing words and
// its line break, so the next message starts a line of its own.
TEST_F(DispatchTest, UiFormattedLinesAreCutTo99UnitsAndKeepTheirLineBreak) {
    std::u16string path = u"C:\\" + std::u16string(100, u'p') + u"\\Подъезд 2.lv24";
    ui_log_format(u"Данные записаны в файл \"%s\".\r\n", path.c_str());
    std::u16string shown = log_text(dialog);
    EXPECT_EQ(shown, u"Данные записаны в файл \"C:\\…\\Подъезд 2.lv24\".\r\n");
    ui_log_format_int(u"Количество COM-портов: %d\r\n", 3);
    EXPECT_EQ(log_text(dialog).substr(shown.size()), u"Количество COM-портов: 3\r\n");
}

// After every append, from this thread and through the log message alike, the status window is
// scrolled so that the newest line is in sight, and no further.
TEST_F(DispatchTest, TheNewestLogLineIsInSightAfterEveryAppend) {
    HWND log = GetDlgItem(dialog, IDC_STATUS_LOG);
    RECT client{};
    GetClientRect(log, &client);
    HDC dc = GetDC(log);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(log, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(log, dc);
    const int visible = (client.bottom - client.top) / std::max(1, int(metrics.tmHeight));
    ASSERT_GT(visible, 1);
    for (int n = 0; n <= 30; ++n) {
        if (n < 30)
            log_line(dialog, u"Строка " + std::u16string(1, char16_t(u'A' + n % 26)) + u"\r\n");
        else
            ui_log_format(u"Ошибка чтения данных из контроллера.%s\r\n", u"");
        const int first = static_cast<int>(SendMessageW(log, EM_GETFIRSTVISIBLELINE, 0, 0));
        EXPECT_LE(first, n) << n;
        EXPECT_GE(first + visible - 1, n) << "line " << n << " is below the visible part";
    }
    wchar_t newest[64] = {63}; // EM_GETLINE takes the room from the first unit
    SendMessageW(log, EM_GETLINE, 30, reinterpret_cast<LPARAM>(newest));
    EXPECT_EQ(std::wstring(newest), L"Ошибка чтения данных из контроллера.");
}

// Lines sent from another thread are appended on this one while it dispatches messages.
TEST_F(DispatchTest, WorkerThreadLinesReachTheLog) {
    struct Job {
        HWND dialog;
        bool done;
    } job{dialog, false};
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID arg) -> DWORD {
            auto* j = static_cast<Job*>(arg);
            wchar_t line[TEXT_LINE_UNITS] = L"Контроллер отключен.\r\n";
            log_send(j->dialog, line);
            return 0;
        },
        &job, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, 5000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
        pump_messages();
    CloseHandle(thread);
    EXPECT_EQ(log_text(dialog), u"Контроллер отключен.\r\n");
}

TEST_F(DispatchTest, CloseEndsTheLoopWithExitCodeZero) {
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(app_message_loop(), 0);
    EXPECT_FALSE(IsWindow(dialog));
}

// Closing waits a while for a running link worker, carrying out its form transfer meanwhile; a
// worker that does not end is then told to stop before the window goes. A form transfer it asks
// for after that is never carried out, so its copy of the form comes back unfilled and is not
// written to the controller. A second close while waiting changes nothing.
TEST_F(DispatchTest, CloseWaitsForTheWorkerThenStopsIt) {
    link_flags_set(LINK_IDENTIFIED | LINK_WORKER_RUNS);
    struct Job {
        HWND dialog;
        FormCopy during, late;
    } job{dialog, {}, {}};
    HANDLE worker = CreateThread(
        nullptr, 0,
        [](LPVOID arg) -> DWORD {
            auto* j = static_cast<Job*>(arg);
            for (int i = 0; i < 500 && !link_flags_test(LINK_CLOSING); ++i)
                Sleep(10);
            SendMessageW(j->dialog, WM_APP_FORM_TO_TABLE, 0, reinterpret_cast<LPARAM>(&j->during));
            return 0;
        },
        &job, 0, nullptr);
    ASSERT_NE(worker, nullptr);
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(app_message_loop(), 0);
    WaitForSingleObject(worker, 5000);
    CloseHandle(worker);
    EXPECT_TRUE(job.during.filled);
    EXPECT_EQ(job.during.values[POS_OFF_TIMER], 180.0f); // the factory default the form shows
    EXPECT_FALSE(link_flags_test(LINK_WORKER_RUNS));
    EXPECT_FALSE(IsWindow(dialog));
    SendMessageW(dialog, WM_APP_FORM_TO_TABLE, 0, reinterpret_cast<LPARAM>(&job.late));
    EXPECT_FALSE(job.late.filled);
}

// A line whose handshake holds every write: the read under way at the close waits out the write
// time-out, its answer window and a read time-out; the write clicked before the close, after the
// read between requests, does the same, and so does its read-back after one more read. The close
// waits for it all: the worker ends by itself.
TEST_F(DispatchTest, CloseWaitsOutWritesHeldByTheLine) {
    link_flags_set(LINK_IDENTIFIED | LINK_WORKER_RUNS);
    static std::atomic<bool> ended;
    ended = false;
    HANDLE worker = CreateThread(
        nullptr, 0,
        [](LPVOID) -> DWORD {
            for (int i = 0; i < 500 && !link_flags_test(LINK_CLOSING); ++i)
                Sleep(10);
            Sleep(LINK_WRITE_TIMEOUT_MS + LINK_READ_REPLY_MS + LINK_READ_TIMEOUT_MS +
                  LINK_READ_TIMEOUT_MS + LINK_WRITE_TIMEOUT_MS + LINK_WRITE_REPLY_MS +
                  LINK_READ_TIMEOUT_MS + LINK_READ_TIMEOUT_MS + LINK_WRITE_TIMEOUT_MS +
                  LINK_READ_REPLY_MS + LINK_READ_TIMEOUT_MS);
            ended = true;
            link_flags_clear(LINK_WORKER_RUNS);
            return 0;
        },
        nullptr, 0, nullptr);
    ASSERT_NE(worker, nullptr);
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(app_message_loop(), 0);
    EXPECT_TRUE(ended) << "the close gave the worker up in the middle of a write";
    WaitForSingleObject(worker, 5000);
    CloseHandle(worker);
}

// Hands over `bytes` bytes of `text` after this process's id, as a later start does, with a claim
// of `counts` counts (none when negative); 99 when the message fails. `*left`: the count is still
// there afterwards.
DWORD_PTR hand_over(HWND dialog, ULONG_PTR tag, const void* text, DWORD bytes, LONG counts = 1,
                    bool* left = nullptr) {
    const std::wstring name =
        L"Local\\LUMIVO24 settings window hand-over " + std::to_wstring(GetCurrentProcessId());
    HANDLE claim = counts < 0 ? nullptr : CreateSemaphoreW(nullptr, counts, 1, name.c_str());
    std::vector<uint8_t> data(4 + bytes);
    const uint32_t process = GetCurrentProcessId();
    memcpy(data.data(), &process, 4);
    memcpy(data.data() + 4, text, bytes);
    COPYDATASTRUCT copy{tag, static_cast<DWORD>(data.size()), data.data()};
    DWORD_PTR answer = 99;
    SendMessageTimeoutW(dialog, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy), SMTO_ABORTIFHUNG,
                        5000, &answer);
    if (left != nullptr)
        *left = claim != nullptr && WaitForSingleObject(claim, 0) == WAIT_OBJECT_0;
    if (claim != nullptr)
        CloseHandle(claim);
    return answer;
}

DWORD_PTR hand_over_file(HWND dialog) {
    const wchar_t path[] = L"C:\\nowhere\\handed.lv24";
    return hand_over(dialog, HANDOVER_TAG, path, sizeof path);
}

// A file handed over by a later start is taken with its claim and loaded like a command-line file
// (a missing one is reported the same way). Anything but exactly one terminated path, anything
// once the window is closing, and a claim taken already (the later start stopped waiting and
// loads the file itself) or never made, are not taken: the file is not loaded here.
TEST_F(DispatchTest, HandedOverPathsAreLoadedUnlessMalformedClosingOrClaimed) {
    const std::u16string path = u"C:\\nowhere\\Сходи ї Ω.lv24";
    const DWORD whole = static_cast<DWORD>((path.size() + 1) * sizeof(char16_t));
    bool left = true;
    EXPECT_EQ(hand_over(dialog, HANDOVER_TAG, path.c_str(), whole, 1, &left), HANDOVER_TAKEN);
    EXPECT_FALSE(left);
    const std::u16string reported = u"Ошибка открытия файла " + path + u".\r\n";
    EXPECT_EQ(log_text(dialog), reported);
    const char16_t unterminated[] = {u'a', u'b'};
    const char16_t two_texts[] = u"a\0b";
    EXPECT_EQ(hand_over(dialog, HANDOVER_TAG + 1, path.c_str(), whole), 0);
    EXPECT_EQ(hand_over(dialog, HANDOVER_TAG, unterminated, sizeof unterminated), 0);
    EXPECT_EQ(hand_over(dialog, HANDOVER_TAG, path.c_str(), whole - 1), 0);
    EXPECT_EQ(hand_over(dialog, HANDOVER_TAG, two_texts, sizeof two_texts), 0);
    EXPECT_EQ(hand_over(dialog, HANDOVER_TAG, u"", sizeof(char16_t)), 0);
    EXPECT_EQ(hand_over(dialog, HANDOVER_TAG, path.c_str(), whole, 0), 0);
    EXPECT_EQ(hand_over(dialog, HANDOVER_TAG, path.c_str(), whole, -1), 0);
    link_flags_set(LINK_CLOSING);
    EXPECT_EQ(hand_over(dialog, HANDOVER_TAG, path.c_str(), whole, 1, &left), 0);
    EXPECT_TRUE(left);
    EXPECT_EQ(log_text(dialog), reported);
}

// A window busy past the sender's wait: one that took the claim (and answers late) has the file,
// and the sender must not load it too; one that did not leaves it with the sender.
TEST_F(DispatchTest, TheSenderKeepsTheFileExactlyWhenTheWindowDidNotTakeTheClaim) {
    static bool takes;
    WNDCLASSW busy{};
    busy.lpfnWndProc = [](HWND window, UINT message, WPARAM wparam, LPARAM lparam) -> LRESULT {
        if (message != WM_COPYDATA)
            return DefWindowProcW(window, message, wparam, lparam);
        uint32_t process = 0;
        memcpy(&process, reinterpret_cast<COPYDATASTRUCT*>(lparam)->lpData, 4);
        const std::wstring name =
            L"Local\\LUMIVO24 settings window hand-over " + std::to_wstring(process);
        HANDLE claim = takes ? OpenSemaphoreW(SYNCHRONIZE, FALSE, name.c_str()) : nullptr;
        const bool took = claim != nullptr && WaitForSingleObject(claim, 0) == WAIT_OBJECT_0;
        if (claim != nullptr)
            CloseHandle(claim);
        Sleep(HANDOVER_WAIT_MS + 1000);
        return took ? HANDOVER_TAKEN : 0;
    };
    busy.lpszClassName = L"lumivo busy window";
    RegisterClassW(&busy);
    static HWND window = nullptr;
    HANDLE other = CreateThread(
        nullptr, 0,
        [](LPVOID) -> DWORD {
            window = CreateWindowW(L"lumivo busy window", L"", 0, 0, 0, 0, 0, nullptr, nullptr,
                                   nullptr, nullptr);
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0)
                DispatchMessageW(&msg);
            return 0;
        },
        nullptr, 0, nullptr);
    while (window == nullptr)
        Sleep(10);
    for (bool take : {true, false}) {
        takes = take;
        EXPECT_EQ(handover_offer(window, L"C:\\nowhere\\handed.lv24"), take);
        Sleep(1500); // the late answer goes out
    }
    PostMessageW(window, WM_QUIT, 0, 0);
    WaitForSingleObject(other, 5000);
    CloseHandle(other);
}

// While the open dialog or a file's message box is up, a hand-over is refused: the file would
// replace the form under the user's hands. The later start then opens its own window. Once the
// modal window is gone, hand-overs are taken again.
TEST_F(DispatchTest, HandOversAreRefusedWhileAModalWindowIsUp) {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring damaged = std::wstring(folder) + L"lumivo_modal_damaged.lv24";
    ASSERT_TRUE(write_file(damaged, std::vector<uint8_t>(2000, 'x')));
    // Another start meanwhile: it waits for the modal window (a visible dialog of this thread other
    // than the main one), hands a file over (the modal window's own loop dispatches the message),
    // and closes the modal window as button `button` would.
    struct Job {
        HWND dialog, modal;
        int button;
        DWORD_PTR answer;
    };
    auto other_start = [](LPVOID param) -> DWORD {
        auto* job = static_cast<Job*>(param);
        for (int i = 0; i < 1000 && job->modal == nullptr; ++i) {
            Sleep(10);
            for (HWND w = nullptr;
                 (w = FindWindowExW(nullptr, w, L"#32770", nullptr)) != nullptr;) {
                if (w != job->dialog && IsWindowVisible(w) &&
                    GetWindowThreadProcessId(w, nullptr) ==
                        GetWindowThreadProcessId(job->dialog, nullptr))
                    job->modal = w;
            }
        }
        if (job->modal != nullptr) {
            job->answer = hand_over_file(job->dialog);
            PostMessageW(job->modal, WM_COMMAND, MAKEWPARAM(job->button, BN_CLICKED), 0);
        }
        return 0;
    };
    for (int box = 0; box < 2; ++box) { // the open dialog, then a file's message box
        Job job{dialog, nullptr, box ? IDOK : IDCANCEL, 99};
        HANDLE other = CreateThread(nullptr, 0, other_start, &job, 0, nullptr);
        ASSERT_NE(other, nullptr);
        if (box)
            load_settings_file(damaged.c_str());
        else
            settings_file_open_command();
        EXPECT_EQ(WaitForSingleObject(other, 10000), WAIT_OBJECT_0);
        CloseHandle(other);
        EXPECT_EQ(job.answer, 0u) << box; // 99: no modal window came up
        EXPECT_EQ(log_text(dialog).find(u"handed.lv24"), std::u16string::npos);
    }
    DeleteFileW(damaged.c_str());
    EXPECT_EQ(hand_over_file(dialog), DWORD_PTR(HANDOVER_TAKEN));
    EXPECT_NE(log_text(dialog).find(u"Ошибка открытия файла C:\\nowhere\\handed.lv24.\r\n"),
              std::u16string::npos);
}

TEST_F(DispatchTest, CancelCommandClosesTheProgram) {
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(app_message_loop(), 0);
    EXPECT_FALSE(IsWindow(dialog));
}

// Presses `key` (with Shift held or not) on the control with the focus, or on `target`, and lets
// the message loop handle it; gives the control that has the focus afterwards.
int press(WPARAM key, bool shift, HWND target = nullptr) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(keys);
    PostMessageW(target != nullptr ? target : GetFocus(), WM_KEYDOWN, key, 1);
    PostQuitMessage(0);
    app_message_loop();
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    return GetDlgCtrlID(GetFocus());
}

std::vector<int> tab_walk(HWND dialog, int from, bool shift, int steps) {
    SetFocus(GetDlgItem(dialog, from));
    std::vector<int> ids;
    while (steps-- > 0)
        ids.push_back(press(VK_TAB, shift));
    return ids;
}

// Tab and Shift+Tab go through the form in reading order: each grid row from left to right, row
// after row, then the global settings row by row, then the five buttons, and round again. The
// locked form's read-only edits take the focus; hidden check boxes, the readings and the status
// window do not. Enter and Esc do nothing, on "Записать" of
// "Настройки" (the dialog manager would click the default button) or in the status window (a
// multi-line edit closes its dialog on Esc).
TEST_F(DispatchTest, TabAndShiftTabGoThroughTheFormInReadingOrderEnterAndEscDoNothing) {
    ShowWindow(dialog, SW_SHOW);
    using Ids = std::vector<int>;
    EXPECT_EQ(tab_walk(dialog, 1011, false, 9),
              (Ids{1012, 1013, 1083, 1107, 1108, 1109, 1224, 1260, 1014}));
    EXPECT_EQ(tab_walk(dialog, 1249, false, 15), (Ids{1301, 1006, 1009, 1304, 1007, 1010, 1008, 13,
                                                      14, 15, 16, 17, 1011, 1012, 1013}));
    EXPECT_EQ(tab_walk(dialog, 1011, true, 7), (Ids{17, 16, 15, 14, 13, 1008, 1010}));
    set_form_lock(0);
    EXPECT_EQ(tab_walk(dialog, 1224, false, 3), (Ids{1250, 1260, 1014}));
    EXPECT_EQ(tab_walk(dialog, 13, true, 2), (Ids{1302, 1008}));
    EXPECT_EQ(tab_walk(dialog, IDC_STATUS_LOG, false, 1), (Ids{13}));
    for (int id : {IDC_DEVICE_WRITE, IDC_STATUS_LOG}) {
        SetFocus(item(id));
        EXPECT_EQ(press(VK_RETURN, false, item(id)), id);
        EXPECT_EQ(press(VK_ESCAPE, false, item(id)), id);
        EXPECT_TRUE(IsWindowVisible(dialog) && !link_flags_test(LINK_CLOSING)) << id;
        EXPECT_EQ(command_queue_take(&app.pending_commands), PENDING_NONE) << id;
    }
    EXPECT_EQ(log_text(dialog), u"");
}

// The log message shares its value with the dialog manager's "set default button" message;
// logging must not change the dialog's default button.
TEST_F(DispatchTest, LoggingLeavesTheDefaultButtonAlone) {
    LRESULT before = SendMessageW(dialog, DM_GETDEFID, 0, 0);
    log_line(dialog, u"x\r\n");
    EXPECT_EQ(SendMessageW(dialog, DM_GETDEFID, 0, 0), before);
}

} // namespace
