// The controller commands clicked and not yet carried out, in the order they were clicked.
//
// One thread puts commands in (the user-interface thread, on a click of "Записать" or
// "Прочитать" in the group "Настройки") and one takes them out (the link worker, one a pass), so
// the queue needs no lock: each index has one writer, the producer's `tail` and the consumer's
// `head`, and both only grow. A slot is written before the producer publishes the tail that
// covers it (a release store), and read after the consumer has seen that tail (an acquire load);
// the consumer gives a slot back by publishing the head past it. Every access is atomic. The
// indices are free-running 32-bit counts; their difference is the number queued, which wraps
// around correctly.
//
// Emptying the queue is the producer's, and only while no consumer runs: as a connection starts,
// before its worker does, the commands clicked while nothing was connected are dropped.
#pragma once

#include <atomic>
#include <cstdint>

#include "link/link_flags.h" // PENDING_*

constexpr uint32_t COMMAND_QUEUE_SLOTS = 8; // clicks that may wait; a ninth is refused

struct CommandQueue {
    int32_t slot[COMMAND_QUEUE_SLOTS]; // commands, at index % COMMAND_QUEUE_SLOTS (producer)
    uint32_t tail;                     // commands put in so far (producer)
    uint32_t head;                     // commands taken out so far (consumer)
};

// Producer: puts `command` last. False when COMMAND_QUEUE_SLOTS commands are waiting already: the
// command is not queued.
inline bool command_queue_put(CommandQueue* queue, int32_t command) {
    const uint32_t tail = std::atomic_ref<uint32_t>(queue->tail).load(std::memory_order_relaxed);
    const uint32_t head = std::atomic_ref<uint32_t>(queue->head).load(std::memory_order_acquire);
    if (tail - head >= COMMAND_QUEUE_SLOTS) {
        return false;
    }
    std::atomic_ref<int32_t>(queue->slot[tail % COMMAND_QUEUE_SLOTS])
        .store(command, std::memory_order_relaxed);
    std::atomic_ref<uint32_t>(queue->tail).store(tail + 1, std::memory_order_release);
    return true;
}

// Consumer: takes the first command out; PENDING_NONE when none is waiting.
inline int32_t command_queue_take(CommandQueue* queue) {
    const uint32_t head = std::atomic_ref<uint32_t>(queue->head).load(std::memory_order_relaxed);
    const uint32_t tail = std::atomic_ref<uint32_t>(queue->tail).load(std::memory_order_acquire);
    if (tail == head) {
        return PENDING_NONE;
    }
    const int32_t command = std::atomic_ref<int32_t>(queue->slot[head % COMMAND_QUEUE_SLOTS])
                                .load(std::memory_order_relaxed);
    std::atomic_ref<uint32_t>(queue->head).store(head + 1, std::memory_order_release);
    return command;
}

// Producer, while no consumer runs: drops every command waiting.
inline void command_queue_clear(CommandQueue* queue) {
    const uint32_t tail = std::atomic_ref<uint32_t>(queue->tail).load(std::memory_order_relaxed);
    std::atomic_ref<uint32_t>(queue->head).store(tail, std::memory_order_release);
}
