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
    bool answer = true;         // transactions get a reply
    bool settings_valid = true; // a settings reply is complete and valid
    bool form_gathered = true;  // the window was there to gather the form
    int32_t last_payload_length = -1;
    // What the user does while a transaction is under way: clicks a controller button (stores
    // `click` in the cell); or, during the drain read, closes the window (sets the closing bit, or
    // clears the running bit as a close does that gave up waiting).
    int32_t* pending = nullptr;
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
                cell_store(f->pending, f->click);
                f->click = PENDING_NONE;
            }
            return f->answer ? 0 : -1;
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
            return fake(c)->form_gathered;
        },
        [](void* c) {
            fake(c)->calls.push_back("take");
            return fake(c)->settings_valid;
        },
        [](void* c, const char16_t* line) { fake(c)->lines.push_back(line); },
    };
}

} // namespace

TEST(WorkerPass, PollsOnlyWhenDueAndDrainsEveryPass) {
    Fake f;
    const WorkerOps ops = fake_ops(&f);
    uint32_t flags = LINK_WORKER_RUNS;
    int32_t pending = PENDING_NONE;
    EXPECT_EQ(worker_pass(&flags, &pending, &ops), PASS_CONTINUE);
    EXPECT_EQ(f.calls, std::vector<std::string>({"receive"}));

    flags |= LINK_POLL_DUE;
    f.calls.clear();
    EXPECT_EQ(worker_pass(&flags, &pending, &ops), PASS_CONTINUE);
    EXPECT_EQ(f.calls, std::vector<std::string>({"transact", "show", "receive"}));
    EXPECT_EQ(f.commands.back(), CMD_GET_STATUS);
    EXPECT_EQ(flags & LINK_POLL_DUE, 0u);
}

TEST(WorkerPass, SettingsTransfersAndTheirLogLines) {
    Fake f;
    const WorkerOps ops = fake_ops(&f);
    uint32_t flags = LINK_WORKER_RUNS;
    int32_t pending = PENDING_WRITE_SETTINGS;
    EXPECT_EQ(worker_pass(&flags, &pending, &ops), PASS_CONTINUE);
    EXPECT_EQ(f.calls, std::vector<std::string>({"receive", "gather", "transact"}));
    EXPECT_EQ(f.commands.back(), CMD_WRITE_SETTINGS);
    EXPECT_EQ(f.last_payload_length, 643);
    EXPECT_EQ(f.lines.back(), u"Данные записаны в контроллер.\r\n");
    EXPECT_EQ(pending, PENDING_NONE);

    pending = PENDING_READ_SETTINGS;
    EXPECT_EQ(worker_pass(&flags, &pending, &ops), PASS_CONTINUE);
    EXPECT_EQ(f.commands.back(), CMD_READ_SETTINGS);
    EXPECT_EQ(f.lines.back(), u"Данные прочитаны из контроллера.\r\n");

    // A reply that is short or fails its checksum is not taken and not reported as read; the
    // connection goes on.
    f.settings_valid = false;
    pending = PENDING_READ_SETTINGS;
    EXPECT_EQ(worker_pass(&flags, &pending, &ops), PASS_CONTINUE);
    EXPECT_EQ(f.lines.back(), u"Ошибка чтения данных из контроллера.\r\n");
    EXPECT_EQ(pending, PENDING_NONE);
}

TEST(WorkerPass, MissingReplyEndsTheConnectionOnce) {
    for (int32_t command : {PENDING_NONE, PENDING_WRITE_SETTINGS, PENDING_READ_SETTINGS}) {
        Fake f;
        f.answer = false;
        const WorkerOps ops = fake_ops(&f);
        uint32_t flags = LINK_WORKER_RUNS;
        if (command == PENDING_NONE) {
            flags |= LINK_POLL_DUE;
        }
        int32_t pending = command;
        EXPECT_EQ(worker_pass(&flags, &pending, &ops), PASS_DISCONNECTED);
        ASSERT_EQ(f.lines.size(), 1u);
        EXPECT_EQ(f.lines[0], u"Контроллер отключен.\r\n");
        // The command was taken when the pass read it; the next connection starts with an empty
        // cell in any case, so nothing is carried over to whatever controller is plugged in next.
        EXPECT_EQ(pending, PENDING_NONE);
    }
}

// A click on either controller button while a settings transfer is under way is kept and carried
// out in the next pass; the transfer's own command is the one cleared.
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
        int32_t pending = c.running;
        f.pending = &pending;
        f.click = c.clicked;
        const WorkerOps ops = fake_ops(&f);
        uint32_t flags = LINK_WORKER_RUNS;
        EXPECT_EQ(worker_pass(&flags, &pending, &ops), PASS_CONTINUE);
        EXPECT_EQ(pending, c.clicked);
        EXPECT_EQ(worker_pass(&flags, &pending, &ops), PASS_CONTINUE);
        ASSERT_EQ(f.commands.size(), 2u);
        EXPECT_EQ(f.commands[1], c.next_command);
        EXPECT_EQ(pending, PENDING_NONE);
        EXPECT_EQ(f.lines.size(), 2u);
    }
}

// Closing the window: the worker finishes the request under way and carries out a settings write
// clicked before the close (the user expects it in the controller), even one the pass had no
// longer seen, but no read and no poll; then it ends. A close that gave up waiting clears the
// running bit: from then on nothing is sent, and above all no write whose form could not be
// gathered (the copy would hold no form values at all).
TEST(WorkerPass, ClosingCarriesOutAClickedWriteOnlyAndEnds) {
    const uint32_t RUNS = LINK_WORKER_RUNS, CLOSING = LINK_CLOSING;
    const int32_t WRITE = PENDING_WRITE_SETTINGS, READ = PENDING_READ_SETTINGS;
    const struct {
        uint32_t start, drain_sets, drain_clears; // the flags, and what the close does to them
        int32_t command;
        bool gathered;
        std::vector<WorkerPassResult> results; // of the passes until the worker ends
        std::vector<std::string> calls;
    } cases[] = {
        // clang-format off
        {RUNS, CLOSING, 0, WRITE, true, {PASS_CONTINUE, PASS_STOPPED}, {"receive", "gather", "transact"}},
        {RUNS, CLOSING, 0, READ, true, {PASS_CONTINUE, PASS_STOPPED}, {"receive"}},
        {RUNS | CLOSING, 0, 0, WRITE, true, {PASS_STOPPED}, {"gather", "transact"}},
        {RUNS, 0, RUNS, WRITE, true, {PASS_STOPPED}, {"receive"}},
        {RUNS, 0, RUNS, READ, true, {PASS_STOPPED}, {"receive"}},
        {RUNS, 0, 0, WRITE, false, {PASS_STOPPED}, {"receive", "gather"}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.calls));
        Fake f;
        uint32_t flags = c.start;
        f.flags = &flags;
        f.drain_sets = c.drain_sets;
        f.drain_clears = c.drain_clears;
        f.form_gathered = c.gathered;
        const WorkerOps ops = fake_ops(&f);
        int32_t pending = c.command;
        std::vector<WorkerPassResult> results;
        do {
            results.push_back(worker_pass(&flags, &pending, &ops));
            flags |= LINK_POLL_DUE; // a poll falls due: a closing worker does not send it
        } while (results.back() == PASS_CONTINUE && results.size() < 4);
        EXPECT_EQ(results, c.results);
        EXPECT_EQ(f.calls, c.calls);
        EXPECT_EQ(f.lines.size(), f.commands.size()); // "Данные записаны в контроллер."
    }
}

TEST(WorkerPass, StopsWhenTheConnectionIsNoLongerRunning) {
    Fake f;
    const WorkerOps ops = fake_ops(&f);
    uint32_t flags = LINK_POLL_DUE; // not even the poll that is due goes out
    int32_t pending = PENDING_NONE;
    EXPECT_EQ(worker_pass(&flags, &pending, &ops), PASS_STOPPED);
    EXPECT_TRUE(f.lines.empty());
    EXPECT_TRUE(f.commands.empty());
}

namespace {

// The user-interface thread of the threaded test: it sets the poll bit like TIMER_POLL, ends the
// reply window like TIMER_REPLY, stores clicked commands, and carries out the worker's form
// transfers on its own thread while the worker waits, as SendMessageW does.
struct Simulation {
    uint32_t flags = LINK_WORKER_RUNS;
    int32_t pending = PENDING_NONE;
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
        if (tick % 97 == 0) {
            cell_store(&s->pending, tick % 2 ? PENDING_READ_SETTINGS : PENDING_WRITE_SETTINGS);
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
            return true;
        },
        [](void* c) {
            send_to_ui(sim(c), 2);
            return true;
        },
        [](void*, const char16_t*) {},
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
