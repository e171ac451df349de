// The emulator's log: one line per request received (time, command, length, whether the CRC
// matched) and per event (port opened or closed, unplug, plug, settings stored). Lines go to
// a stream (standard error or the --log file) as they happen, and the last EMU_LOG_LINES are
// kept for the control channel's `log` command.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "emulator/emu_frame.h"

constexpr size_t EMU_LOG_LINES = 256;      // lines kept for `log`
constexpr size_t EMU_LOG_LINE_BYTES = 160; // characters of one line at most, terminator included

struct EmuLog {
    FILE* stream;                                  // where lines are written; may be null
    char lines[EMU_LOG_LINES][EMU_LOG_LINE_BYTES]; // ring of the last lines
    size_t next;                                   // ring slot of the next line
    size_t count;                                  // lines held
};

void emu_log_init(EmuLog* log, FILE* stream);
void emu_log_request(EmuLog* log, const EmuRequest* request);
void emu_log_event(EmuLog* log, const char* format, ...) __attribute__((format(printf, 2, 3)));
void emu_log_clear(EmuLog* log);

// Joins the kept lines, oldest first, separated by " | ", into out (cut at cap). Returns the
// characters written.
size_t emu_log_join(const EmuLog* log, char* out, size_t cap);
