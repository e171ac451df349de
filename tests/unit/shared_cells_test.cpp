// The cells the user-interface thread and the link worker share: the port-scan counter, which the
// user-interface thread counts on each scan tick and the link worker sets to 10 as a connection
// ends, and the queue of clicked controller commands. Built with ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "link/command_queue.h"
#include "link/link_flags.h"

// A tick and the worker's store of 10 at the same moment: either the tick came first and the 10
// stands, or the tick saw the 10, scans and leaves 0. A tick that read the counter before the
// store and wrote its own count after it would lose the 10. Varying head starts make some rounds
// meet inside the tick.
TEST(SharedCells, ScanTickNeverOverwritesTheWorkersTen) {
    constexpr int ROUNDS = 20000;
    int32_t counter = 0;
    std::atomic<int> started{0}, stored{0}, sink{0};
    auto spin = [&](int turns) {
        for (int i = 0; i < turns; ++i) {
            sink.fetch_add(1, std::memory_order_relaxed);
        }
    };
    std::thread worker([&] {
        for (int r = 1; r <= ROUNDS; ++r) {
            while (started.load() != r) {
            }
            spin(r % 7);
            cell_store(&counter, 10);
            stored.store(r);
        }
    });
    int lost = 0;
    for (int r = 1; r <= ROUNDS; ++r) {
        cell_store(&counter, r % 3); // in the middle of its count: no scan of its own
        started.store(r);
        spin(r % 11);
        const bool scanned = scan_tick_step(&counter);
        while (stored.load() != r) {
        }
        lost += scanned ? cell_load(&counter) != 0 : cell_load(&counter) != 10;
    }
    worker.join();
    EXPECT_EQ(lost, 0);
}

// Clicks put in while the worker takes them out, each side now quick and now slow, so that the
// queue is met empty and full: every click put in comes out once and in order; a put into a full
// queue says so. Clearing, as a connection starts, leaves nothing.
TEST(SharedCells, CommandQueueKeepsEveryClickInItsOrder) {
    constexpr int32_t CLICKS = 50000;
    CommandQueue queue{};
    std::atomic<int> sink{0};
    auto spin = [&](int turns) {
        for (int i = 0; i < turns; ++i) {
            sink.fetch_add(1, std::memory_order_relaxed);
        }
    };
    int32_t out_of_order = 0;
    std::thread worker([&] {
        for (int32_t expected = 1; expected <= CLICKS;) {
            const int32_t command = command_queue_take(&queue);
            if (command != PENDING_NONE) {
                out_of_order += command != expected;
                expected = command + 1;
                spin(expected % 13 < 6 ? 0 : 40);
            }
        }
    });
    int refused = 0;
    for (int32_t click = 1; click <= CLICKS;) {
        if (!command_queue_put(&queue, click)) {
            ++refused;
            continue;
        }
        spin(++click % 17 < 8 ? 60 : 0);
    }
    worker.join();
    EXPECT_EQ(out_of_order, 0);
    EXPECT_GT(refused, 0);
    EXPECT_TRUE(command_queue_put(&queue, PENDING_READ_SETTINGS));
    command_queue_clear(&queue);
    EXPECT_EQ(command_queue_take(&queue), PENDING_NONE);
}
