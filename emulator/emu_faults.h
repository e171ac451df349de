// Faults the controller can be ordered to show, and the way an answer goes out with them.
//
// Some faults change what the answer is: a raw answer replaces the next answer to one command,
// a truncation cuts every answer to one command short, a chosen length field goes into the
// identification answer, and a controller that refuses writes keeps its settings. The others
// change how it goes out: it is delayed, not sent at all
// (silent), preceded by stray bytes (once, or before every answer), or split into pieces with
// pauses between them. A silent controller still takes in its requests and acts on them, like a
// device whose transmit wire is cut.
#pragma once

#include <cstddef>
#include <cstdint>

#include "emulator/emu_output.h"

constexpr size_t EMU_STRAY_MAX = 256;  // stray bytes at most
constexpr size_t EMU_RAW_MAX = 8192;   // bytes of a raw answer at most
constexpr size_t EMU_FAULT_SLOTS = 8;  // commands with a raw answer or a truncation at once
constexpr uint32_t EMU_SPLIT_MAX = 64; // pieces of a split answer at most

struct EmuRawAnswer {
    bool armed;                 // goes out with the next answer to `command`
    uint16_t command;           // request command it answers
    size_t length;              // bytes in `bytes`
    uint8_t bytes[EMU_RAW_MAX]; // the answer exactly as it goes out
};

struct EmuTruncation {
    bool armed;       // answers to `command` are cut short
    uint16_t command; // request command whose answers are cut
    uint32_t bytes;   // bytes kept of each answer
};

struct EmuFaults {
    bool silent;                               // no answer goes out
    uint32_t delay_ms;                         // every answer goes out this much later
    uint8_t stray_once[EMU_STRAY_MAX];         // bytes sent before the next answer
    size_t stray_once_length;                  // 0: none pending
    bool stray_always;                         // stray_always_bytes precede every answer
    uint8_t stray_always_bytes[EMU_STRAY_MAX]; // bytes sent before every answer
    size_t stray_always_length;                // bytes in stray_always_bytes
    uint32_t split_pieces;                     // answers go out in this many writes (1: whole)
    uint32_t split_pause_ms;                   // pause between the pieces
    EmuRawAnswer raw[EMU_FAULT_SLOTS];         // raw answers waiting for their command
    EmuTruncation truncation[EMU_FAULT_SLOTS]; // truncations by command
    int32_t ident_length;                      // identification length field; -1: the true one
    bool refuse_writes;                        // settings writes answered "refused", not stored
};

void emu_faults_reset(EmuFaults* faults);

// Arms a raw answer for the next request of `command` (replacing one armed for it). Returns 0,
// or -1 when the bytes are too many or every slot is taken.
int emu_faults_arm_raw(EmuFaults* faults, uint16_t command, const uint8_t* bytes, size_t length);

// If a raw answer is armed for `command`, disarms it and returns it; else nullptr.
const EmuRawAnswer* emu_faults_take_raw(EmuFaults* faults, uint16_t command);

// Sets (bytes >= 0) or clears (bytes < 0) the truncation of answers to `command`. Returns 0, or
// -1 when every slot is taken.
int emu_faults_set_truncation(EmuFaults* faults, uint16_t command, long bytes);

// Bytes an answer to `command` of `length` bytes keeps.
size_t emu_faults_truncated_length(const EmuFaults* faults, uint16_t command, size_t length);

// Queues an answer as the faults say: stray bytes first, then the answer, whole or in pieces,
// delayed as ordered; nothing at all when silent. Returns 0, or -1 when the queue is full.
int emu_faults_send(EmuFaults* faults, EmuOutput* output, const uint8_t* answer, size_t length,
                    int64_t now_ms);
