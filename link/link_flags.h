// The cells the user-interface thread and the link worker share without a lock: the LinkFlags
// word and the pending controller command. Every change of a LinkFlags bit is an atomic
// read-modify-write, so that a bit set by one thread at the same moment as another bit is
// changed by the other thread is never lost; the command cell is read and written with atomic
// 32-bit accesses.
#pragma once

#include <atomic>
#include <cstdint>

enum : uint32_t {
    LINK_PORTS_PROBING = 0x0001, // ports are open for identification probing
    LINK_IDENTIFIED = 0x0002,    // a controller has been identified
    LINK_WORKER_RUNS = 0x0004,   // the link worker runs
    LINK_WORKER_DONE = 0x0008,   // the link worker has finished
    LINK_REPLY_ELAPSED = 0x0080, // the reply window of the current transaction has elapsed
    LINK_POLL_DUE = 0x1000,      // a status poll is due
};

// Controller commands held in the pending command cell.
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
