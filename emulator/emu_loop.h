// The running emulator: one record holding the controller, the line and the control channel,
// and the single-threaded event loop that serves them.
//
// Everything happens in one poll loop: requests are read from the pseudo-terminal's master and
// answered at once (or when their faults say), the output queue is written whenever its head
// is due, control lines are served as they come, and the loop sleeps until the next of these
// is due. On a paced line (--baud) the bytes from the PC wait in `crossing` until they have
// crossed the line, so a request is answered only once its last byte has arrived, and the
// answers go out to the pseudo-terminal no faster than the line carries them (emu_pace.h). SIGINT
// and SIGTERM are blocked except inside the poll, so they end the loop cleanly and the links made
// at start are removed on the way out.
#pragma once

#include <cstdint>

#include "emulator/emu_device.h"
#include "emulator/emu_frame.h"
#include "emulator/emu_log.h"
#include "emulator/emu_options.h"
#include "emulator/emu_output.h"
#include "emulator/emu_pace.h"
#include "emulator/emu_pty.h"
#include "emulator/emu_server.h"
#include "emulator/emu_wine.h"

struct Emulator {
    EmuOptions options;                 // command line
    EmuDevice device;                   // the controller
    EmuParser parser;                   // requests being received
    EmuOutput output;                   // bytes waiting to go out
    EmuLog log;                         // request and event log
    EmuPty pty;                         // the line
    EmuWine wine;                       // Wine attachment, if any
    EmuServer server;                   // control channel
    EmuPace to_pc;                      // paced line towards the PC (baud 0: not paced)
    EmuPace from_pc;                    // paced line from the PC
    uint8_t crossing[EMU_PARSER_BYTES]; // bytes from the PC still crossing a paced line
    size_t crossing_count;              // bytes in crossing
    bool line_full;                     // the last paced write found the pseudo-terminal full
    bool plugged;                       // the line exists (not unplugged)
    bool quit;                          // leave the loop
    int64_t end_ms;                     // --lifetime deadline; 0: none
    int64_t peer_check_ms;              // next look for an opener while the port is closed
};

int64_t emu_now_ms();
int64_t emu_now_us();

// Opens the line, attaches to Wine, opens the control channel and prints "pty PATH" and
// "control PORT". Returns 0, or -1 after undoing what it did.
int emu_start(Emulator* emu);

// Serves until quit, a signal, standard-input end or the lifetime's end.
void emu_run(Emulator* emu);

// Removes links, closes everything.
void emu_stop(Emulator* emu);
