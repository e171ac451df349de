// The cells the user-interface thread and the link worker share without a lock: the LinkFlags
// word and the port-scan counter (the clicked controller commands wait in a queue of their own,
// link/command_queue.h). Every change of a LinkFlags bit is an atomic read-modify-write, so that
// a bit set by one thread at the same moment as another bit is changed by the other thread is
// never lost; the counter is stepped in one atomic read-modify-write.
#pragma once

#include <atomic>
#include <cstdint>

enum : uint32_t {
    LINK_PORTS_PROBING = 0x0001, // ports are open for identification probing
    LINK_IDENTIFIED = 0x0002,    // a controller has been identified
    LINK_WORKER_RUNS = 0x0004,   // the link worker runs
    LINK_WORKER_DONE = 0x0008,   // the link worker has finished (nothing reads it)
    LINK_CLOSING = 0x0010,       // the window is closing: the worker ends after the request under
                                 // way and a settings write asked for before the close
    LINK_REPLY_ELAPSED = 0x0080, // the reply window of the current transaction has elapsed
    LINK_POLL_DUE = 0x1000,      // a status poll is due
};

// Controller commands, as the controller buttons queue them.
constexpr int32_t PENDING_NONE = 0;
constexpr int32_t PENDING_WRITE_SETTINGS = 15; // write the form into the controller
constexpr int32_t PENDING_READ_SETTINGS = 16;  // read the controller's settings into the form

inline uint32_t flags_load(uint32_t* word) {
    return std::atomic_ref<uint32_t>(*word).load(std::memory_order_seq_cst);
}
inline void flags_set(uint32_t* word, uint32_t bits) {
    std::atomic_ref<uint32_t>(*word).fetch_or(bits, std::memory_order_seq_cst);
}
inline void flags_clear(uint32_t* word, uint32_t bits) {
    std::atomic_ref<uint32_t>(*word).fetch_and(~bits, std::memory_order_seq_cst);
}
inline int32_t cell_load(int32_t* cell) {
    return std::atomic_ref<int32_t>(*cell).load(std::memory_order_seq_cst);
}
inline void cell_store(int32_t* cell, int32_t value) {
    std::atomic_ref<int32_t>(*cell).store(value, std::memory_order_seq_cst);
}

// One tick of the port-scan counter: a tick that finds a value above 2 sets it to 0 and scans,
// any other tick adds one. True when this tick scans. The link worker stores 10 into the same
// counter as a connection ends, so the step is one atomic read-modify-write: a load followed by
// a separate store could overwrite that 10 with the old value + 1 and delay the next scan by up
// to three seconds.
inline bool scan_tick_step(int32_t* counter) {
    std::atomic_ref<int32_t> ticks(*counter);
    int32_t old = ticks.load(std::memory_order_seq_cst);
    while (!ticks.compare_exchange_weak(old, old > 2 ? 0 : old + 1, std::memory_order_seq_cst)) {
    }
    return old > 2;
}
