// The link worker's pass against fake operations: what it asks of the link and the form, in
// which order, and how it treats the shared cells. The threaded case runs the pass against a
// simulated user-interface thread the way the program does (timers set flag bits, clicks store
// commands, form transfers are carried out on that thread while the worker waits); built with
// ThreadSanitizer it shows that the two threads share nothing but the atomic cells.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/frame.h"
#include "link/link_flags.h"
#include "link/worker_pass.h"

namespace {

struct Fake {
    std::vector<int32_t> commands; // commands of the transactions, in order
    std::vector<std::string> calls;
    std::vector<std::u16string> lines;
    int answers = 1000;              // transactions that get a reply, the others get none
    bool settings_valid = true;      // a settings reply is complete and valid
    WriteReady form = WRITE_PACKED;  // what became of the form for a write
    WriteCheck written = WRITE_HELD; // what the read-back of a write found
    int32_t last_payload_length = -1;
    // What the user does while a transaction is under way: clicks a controller button (queues
    // `click`); or, during the drain read, closes the window (sets the closing bit, or clears
    // the running bit as a close does that gave up waiting).
    CommandQueue* pending = nullptr;
    int32_t click = PENDING_NONE;
    uint32_t* flags = nullptr;
    uint32_t drain_sets = 0;
    uint32_t drain_clears = 0;
};

Fake* fake(void* c) {
    return static_cast<Fake*>(c);
}

WorkerOps fake_ops(Fake* f) {
    return WorkerOps{
        f,
        [](void* c, int32_t command, int32_t length, int32_t) {
            Fake* f = fake(c);
            f->commands.push_back(command);
            f->last_payload_length = length;
            f->calls.push_back("transact");
            if (f->click != PENDING_NONE) {
                command_queue_put(f->pending, f->click);
                f->click = PENDING_NONE;
            }
            return f->answers-- > 0 ? 0 : -1;
        },
        [](void* c) {
            Fake* f = fake(c);
            f->calls.push_back("receive");
            if (f->flags != nullptr) {
                flags_set(f->flags, f->drain_sets);
                flags_clear(f->flags, f->drain_clears);
            }
        },
        [](void* c) { fake(c)->calls.push_back("show"); },
        [](void* c) {
            fake(c)->calls.push_back("gather");
            return fake(c)->form;
        },
        [](void* c) {
            fake(c)->calls.push_back("take");
            return fake(c)->settings_valid;
        },
        [](void* c, const char16_t* line) { fake(c)->lines.push_back(line); },
        [](void* c) {
            fake(c)->calls.push_back("compare");
            return fake(c)->written;
        },
    };
}

CommandQueue queue_of(std::initializer_list<int32_t> commands) {
    CommandQueue queue{};
    for (int32_t command : commands)
        command_queue_put(&queue, command);
    return queue;
}

} // namespace

TEST(WorkerPass, PollsOnlyWhenDueAndDrainsEveryPass) {
    Fake f;
    const WorkerOps ops = fake_ops(&f);
    uint32_t flags = LINK_WORKER_RUNS;
    CommandQueue pending{};
    EXPECT_EQ(worker_pass(&flags, &pending, &ops), PASS_CONTINUE);
    EXPECT_EQ(f.calls, std::vector<std::string>({"receive"}));

    flags |= LINK_POLL_DUE;
    f.calls.clear();
    EXPECT_EQ(worker_pass(&flags, &pending, &ops), PASS_CONTINUE);
    EXPECT_EQ(f.calls, std::vector<std::string>({"transact", "show", "receive"}));
    EXPECT_EQ(f.commands.back(), CMD_GET_STATUS);
    EXPECT_EQ(flags & LINK_POLL_DUE, 0u);
}

// A write sends the form only when it passed its check, then reads the settings back: the
// success line only when the controller holds what was sent.
TEST(WorkerPass, SettingsTransfersAndTheirLogLines) {
    Fake f;
    const WorkerOps ops = fake_ops(&f);
    uint32_t flags = LINK_WORKER_RUNS;
    CommandQueue pending = queue_of({PENDING_WRITE_SETTINGS});
    EXPECT_EQ(worker_pass(&flags, &pending, &ops), PASS_CONTINUE);
    EXPECT_EQ(f.calls, std::vector<std::string>(
                           {"receive", "gather", "transact", "receive", "transact", "compare"}));
    EXPECT_EQ(f.commands, std::vector<int32_t>({CMD_WRITE_SETTINGS, CMD_READ_SETTINGS}));
    EXPECT_EQ(f.lines.back(), u"Данные записаны в контроллер.\r\n");
    const struct {
        WriteReady form;
        WriteCheck written;
        const char16_t* line; // nullptr: none, and nothing sent
    } writes[] = {
        {WRITE_PACKED, WRITE_NOT_HELD,
         u"Данные не записаны в контроллер: считанные обратно настройки отличаются от "
         u"отправленных.\r\n"},
        {WRITE_PACKED, WRITE_UNREAD,
         u"Запись не проверена: ответ на чтение настроек неполный или повреждён.\r\n"},
        {WRITE_REFUSED, WRITE_HELD, nullptr}, // the check has logged why
    };
    for (const auto& w : writes) {
        f.form = w.form;
        f.written = w.written;
        f.lines.clear();
        f.commands.clear();
        pending = queue_of({PENDING_WRITE_SETTINGS});
        EXPECT_EQ(worker_pass(&flags, &pending, &ops), PASS_CONTINUE);
        EXPECT_EQ(f.lines, w.line != nullptr ? std::vector<std::u16string>{w.line}
                                             : std::vector<std::u16string>{});
        EXPECT_EQ(f.commands.size(), w.line != nullptr ? 2u : 0u);
    }
    f.form = WRITE_PACKED;

    pending = queue_of({PENDING_READ_SETTINGS});
    EXPECT_EQ(worker_pass(&flags, &pending, &ops), PASS_CONTINUE);
    EXPECT_EQ(f.commands.back(), CMD_READ_SETTINGS);
    EXPECT_EQ(f.lines.back(), u"Данные прочитаны из контроллера.\r\n");

    // A reply that is short or fails its checksum is not taken and not reported as read; the
    // connection goes on.
    f.settings_valid = false;
    pending = queue_of({PENDING_READ_SETTINGS});
    EXPECT_EQ(worker_pass(&flags, &pending, &ops), PASS_CONTINUE);
    EXPECT_EQ(f.lines.back(), u"Ошибка чтения данных из контроллера.\r\n");
    EXPECT_EQ(command_queue_take(&pending), PENDING_NONE);
}

// Any request without a reply ends it, the read-back of a write (answers 1) too.
TEST(WorkerPass, MissingReplyEndsTheConnectionOnce) {
    const struct {
        int32_t command;
        int answers;
    } cases[] = {{PENDING_NONE, 0},
                 {PENDING_WRITE_SETTINGS, 0},
                 {PENDING_WRITE_SETTINGS, 1},
                 {PENDING_READ_SETTINGS, 0}};
    for (const auto& [command, answers] : cases) {
        Fake f;
        f.answers = answers;
        const WorkerOps ops = fake_ops(&f);
        uint32_t flags = LINK_WORKER_RUNS;
        if (command == PENDING_NONE) {
            flags |= LINK_POLL_DUE;
        }
        CommandQueue pending = queue_of({command});
        EXPECT_EQ(worker_pass(&flags, &pending, &ops), PASS_DISCONNECTED);
        ASSERT_EQ(f.lines.size(), 1u);
        EXPECT_EQ(f.lines[0], u"Контроллер отключен.\r\n");
        // The command was taken when the pass read it; the next connection starts with an empty
        // queue in any case, so nothing is carried over to whatever controller is plugged in next.
        EXPECT_EQ(command_queue_take(&pending), PENDING_NONE);
    }
}

// A click on either controller button while a settings transfer is under way waits and is
// carried out in the next pass.
TEST(WorkerPass, AClickDuringATransferIsCarriedOutInTheNextPass) {
    const struct {
        int32_t running, clicked, next_command;
    } cases[] = {{PENDING_READ_SETTINGS, PENDING_WRITE_SETTINGS, CMD_WRITE_SETTINGS},
                 {PENDING_WRITE_SETTINGS, PENDING_READ_SETTINGS, CMD_READ_SETTINGS},
                 // the same button again: the form may have been edited since the first write
                 {PENDING_WRITE_SETTINGS, PENDING_WRITE_SETTINGS, CMD_WRITE_SETTINGS},
                 {PENDING_READ_SETTINGS, PENDING_READ_SETTINGS, CMD_READ_SETTINGS}};
    for (const auto& c : cases) {
        Fake f;
        CommandQueue pending = queue_of({c.running});
        f.pending = &pending;
        f.click = c.clicked;
        const WorkerOps ops = fake_ops(&f);
        uint32_t flags = LINK_WORKER_RUNS;
        EXPECT_EQ(worker_pass(&flags, &pending, &ops), PASS_CONTINUE);
        const size_t first = f.commands.size(); // a write reads back too
        EXPECT_EQ(worker_pass(&flags, &pending, &ops), PASS_CONTINUE);
        ASSERT_GT(f.commands.size(), first);
        EXPECT_EQ(f.commands[first], c.next_command);
        EXPECT_EQ(command_queue_take(&pending), PENDING_NONE);
        EXPECT_EQ(f.lines.size(), 2u);
    }
}

// Closing the window: the worker finishes the request under way and carries out a settings write
// clicked before the close (the user expects it in the controller), even one the pass had no
// longer seen, but no read and no poll (several writes waiting send the form once); then it
// ends. A form that fails its check sends nothing. A close that gave up waiting clears the
// running bit: from then on nothing is sent, and above all no write whose form could not be
// gathered (the copy would hold no form values at all).
TEST(WorkerPass, ClosingCarriesOutAClickedWriteOnlyAndEnds) {
    const uint32_t RUNS = LINK_WORKER_RUNS, CLOSING = LINK_CLOSING;
    const int32_t WRITE = PENDING_WRITE_SETTINGS, READ = PENDING_READ_SETTINGS;
    const struct {
        uint32_t start, drain_sets, drain_clears; // the flags, and what the close does to them
        std::vector<int32_t> commands;
        WriteReady form;
        std::vector<WorkerPassResult> results; // of the passes until the worker ends
        std::vector<std::string> calls;
    } cases[] = {
        // clang-format off
        {RUNS, CLOSING, 0, {WRITE}, WRITE_PACKED, {PASS_CONTINUE, PASS_STOPPED}, {"receive", "gather", "transact", "receive", "transact", "compare"}},
        {RUNS, CLOSING, 0, {READ}, WRITE_PACKED, {PASS_CONTINUE, PASS_STOPPED}, {"receive"}},
        {RUNS | CLOSING, 0, 0, {READ, WRITE, READ, WRITE}, WRITE_PACKED, {PASS_STOPPED}, {"gather", "transact", "receive", "transact", "compare"}},
        {RUNS | CLOSING, 0, 0, {WRITE}, WRITE_REFUSED, {PASS_STOPPED}, {"gather"}},
        {RUNS, 0, RUNS, {WRITE}, WRITE_PACKED, {PASS_STOPPED}, {"receive"}},
        {RUNS, 0, RUNS, {READ}, WRITE_PACKED, {PASS_STOPPED}, {"receive"}},
        {RUNS, 0, 0, {WRITE}, WRITE_NO_FORM, {PASS_STOPPED}, {"receive", "gather"}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.calls));
        Fake f;
        uint32_t flags = c.start;
        f.flags = &flags;
        f.drain_sets = c.drain_sets;
        f.drain_clears = c.drain_clears;
        f.form = c.form;
        const WorkerOps ops = fake_ops(&f);
        CommandQueue pending{};
        for (int32_t command : c.commands)
            command_queue_put(&pending, command);
        std::vector<WorkerPassResult> results;
        do {
            results.push_back(worker_pass(&flags, &pending, &ops));
            flags |= LINK_POLL_DUE; // a poll falls due: a closing worker does not send it
        } while (results.back() == PASS_CONTINUE && results.size() < 4);
        EXPECT_EQ(results, c.results);
        EXPECT_EQ(f.calls, c.calls);
        EXPECT_EQ(f.lines.size() * 2, f.commands.size()); // "Данные записаны в контроллер."
    }
}

TEST(WorkerPass, StopsWhenTheConnectionIsNoLongerRunning) {
    Fake f;
    const WorkerOps ops = fake_ops(&f);
    uint32_t flags = LINK_POLL_DUE; // not even the poll that is due goes out
    CommandQueue pending = queue_of({PENDING_WRITE_SETTINGS});
    EXPECT_EQ(worker_pass(&flags, &pending, &ops), PASS_STOPPED);
    EXPECT_TRUE(f.lines.empty());
    EXPECT_TRUE(f.commands.empty());
}

namespace {

// The user-interface thread of the threaded test: it sets the poll bit like TIMER_POLL, ends the
// reply window like TIMER_REPLY, queues clicks (now and then more than the queue holds), and
// carries out the worker's form transfers on its own thread while the worker waits, as
// SendMessageW does.
struct Simulation {
    uint32_t flags = LINK_WORKER_RUNS;
    CommandQueue pending{};
    std::atomic<bool> reply_timer{false};
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable cv;
    int request = 0;           // 1 gather, 2 take; guarded by mutex
    float table[4] = {};       // owned by the user-interface thread
    float worker_copy[4] = {}; // the worker's private copy, filled by a gather
    int transfers = 0;         // form transfers carried out (user-interface thread)
    int status_polls = 0;      // worker thread
};

Simulation* sim(void* c) {
    return static_cast<Simulation*>(c);
}

void send_to_ui(Simulation* s, int what) {
    std::unique_lock<std::mutex> lock(s->mutex);
    s->request = what;
    s->cv.notify_all();
    s->cv.wait(lock, [s] { return s->request == 0; });
}

void ui_thread(Simulation* s) {
    int tick = 0;
    while (!s->stop.load()) {
        if (++tick % 20 == 0) {
            flags_set(&s->flags, LINK_POLL_DUE);
        }
        const int32_t click = tick % 3 ? PENDING_READ_SETTINGS : PENDING_WRITE_SETTINGS;
        if (tick % 97 == 0 || tick % 1000 < 12) {
            command_queue_put(&s->pending, click);
        }
        if (s->reply_timer.exchange(false)) {
            flags_set(&s->flags, LINK_REPLY_ELAPSED);
        }
        std::unique_lock<std::mutex> lock(s->mutex);
        if (s->request != 0) {
            for (int i = 0; i < 4; ++i) {
                if (s->request == 1) {
                    s->worker_copy[i] = s->table[i];
                } else {
                    s->table[i] = static_cast<float>(tick);
                }
            }
            ++s->transfers;
            s->request = 0;
            s->cv.notify_all();
        }
        lock.unlock();
        std::this_thread::yield();
    }
}

WorkerOps simulation_ops(Simulation* s) {
    return WorkerOps{
        s,
        [](void* c, int32_t command, int32_t, int32_t) {
            Simulation* s = sim(c);
            flags_clear(&s->flags, LINK_REPLY_ELAPSED);
            s->reply_timer.store(true);
            while ((flags_load(&s->flags) & LINK_REPLY_ELAPSED) == 0) {
                std::this_thread::yield();
            }
            if (command == CMD_GET_STATUS) {
                ++s->status_polls;
            }
            return 0;
        },
        // The drain read paces the loop, as the port's read time-out does.
        [](void*) { std::this_thread::sleep_for(std::chrono::microseconds(50)); },
        [](void*) {},
        [](void* c) {
            send_to_ui(sim(c), 1);
            return WRITE_PACKED;
        },
        [](void* c) {
            send_to_ui(sim(c), 2);
            return true;
        },
        [](void*, const char16_t*) {},
        [](void*) { return WRITE_HELD; },
    };
}

} // namespace

TEST(WorkerPass, RunsBesideTheUserInterfaceThreadSharingOnlyTheAtomicCells) {
    Simulation s;
    const WorkerOps ops = simulation_ops(&s);
    std::thread ui(ui_thread, &s);
    WorkerPassResult result = PASS_CONTINUE;
    for (int passes = 0; passes < 200000 && result == PASS_CONTINUE; ++passes) {
        if (s.status_polls >= 50 && s.transfers >= 10) {
            flags_clear(&s.flags, LINK_WORKER_RUNS); // ends the connection after this pass
        }
        result = worker_pass(&s.flags, &s.pending, &ops);
    }
    s.stop.store(true);
    ui.join();
    EXPECT_EQ(result, PASS_STOPPED);
    EXPECT_GE(s.status_polls, 50);
    EXPECT_GE(s.transfers, 10);
}
