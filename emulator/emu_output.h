// Bytes waiting to go out on the line, as a first-in first-out queue of segments, each with
// the time before which it must not be sent. Answers, stray bytes, the pieces of a split
// answer and junk bursts all pass through it, so a slow reader, a delay or a pause never blocks
// the emulator: the line is written without blocking whenever the head segment is due.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t EMU_OUTPUT_SEGMENTS = 1024;               // segments queued at most
constexpr size_t EMU_OUTPUT_MAX_BYTES = 16u * 1024 * 1024; // bytes queued at most

struct EmuSegment {
    uint8_t* data;  // owned copy of the bytes
    size_t length;  // bytes in data
    size_t sent;    // bytes already written
    int64_t due_ms; // not to be written before this time
};

struct EmuOutput {
    EmuSegment segments[EMU_OUTPUT_SEGMENTS]; // ring of segments
    size_t head;                              // index of the oldest segment
    size_t count;                             // segments queued
    size_t queued_bytes;                      // bytes queued and not yet written
    uint32_t junk_state;                      // generator of junk bytes
};

void emu_output_init(EmuOutput* output);

// Queues a copy of the bytes. Returns 0, or -1 when the queue is full (nothing queued).
int emu_output_push(EmuOutput* output, const uint8_t* data, size_t length, int64_t due_ms);

// Queues `length` junk bytes: `fill` repeated, or pseudo-random bytes when fill is negative.
int emu_output_push_junk(EmuOutput* output, size_t length, int fill, int64_t due_ms);

// Time at which the head segment is due, or -1 when the queue is empty.
int64_t emu_output_next_due(const EmuOutput* output);

// Writes the due segments to fd (non-blocking) until the queue is empty, the head segment is
// not due yet, or the descriptor takes no more. Returns bytes written, or -1 on an error other
// than a full descriptor.
long emu_output_write(EmuOutput* output, int fd, int64_t now_ms);

// The same, writing at most `limit` bytes (what a paced line lets through now).
long emu_output_write_limited(EmuOutput* output, int fd, int64_t now_ms, size_t limit);

// Bytes that are due at now_ms and not yet written: those of the head segments up to the first
// one not due yet.
size_t emu_output_due_bytes(const EmuOutput* output, int64_t now_ms);

// Drops everything queued (the line went away).
void emu_output_clear(EmuOutput* output);
