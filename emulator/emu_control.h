// The control channel's command language: one text line in, one reply line out, starting with
// "ok" or "error". Commands that change the line itself (unplug, plug, quit) are returned as an
// action for the event loop, which carries them out and writes their reply.
//
//   status                          state in one line
//   set light N|auto                pin the raw light value (0..65535) or let it drift
//   set distance 1|2 CM|auto        pin a distance or let it move
//   set faults N                    fault bits (bit 0 sensor 1, bit 1 sensor 2)
//   set version TEXT                version text after "kavren board v" (rest of the line)
//   set settings HEX                store a 643-byte settings payload as given
//   get settings                    the stored payload in hex
//   defaults                        store the factory settings
//   silent on|off                   answer nothing / answer again
//   delay MS                        answer MS milliseconds late
//   stray HEX                       bytes sent before the next answer
//   stray-always on [HEX]|off       bytes (default 00) sent before every answer
//   split N MS                      every answer in N writes, MS apart (split 1 0: whole)
//   junk BYTES [FILL]               send BYTES junk bytes now (random, or FILL repeated)
//   raw CMD HEX                     answer the next CMD request with exactly these bytes
//   truncate CMD N|off              cut answers to CMD to N bytes
//   ident-length L|off              length field of the identification answer
//   reset-faults                    every fault off
//   requests / clear-requests       request counts
//   last-request CMD                the last CMD request frame in hex
//   log / clear-log                 the kept log lines, joined by " | "
//   unplug / plug                   pull the cable / put it back on the same path
//   quit                            end the emulator
//
// CMD is a hex code (2, 0x0103, 103) or identify, status, read, write.
#pragma once

#include <cstddef>
#include <cstdint>

#include "emulator/emu_device.h"
#include "emulator/emu_log.h"
#include "emulator/emu_output.h"

enum EmuAction {
    EMU_ACTION_NONE = 0, // reply written
    EMU_ACTION_UNPLUG,   // the loop must unplug and reply
    EMU_ACTION_PLUG,     // the loop must plug and reply
    EMU_ACTION_QUIT,     // the loop must reply and end
};

struct EmuControl {
    EmuDevice* device;    // the controller
    EmuOutput* output;    // line output, for junk
    EmuLog* log;          // for `log` and events
    const char* pty_path; // current device side of the line
    bool plugged;         // the line exists
    bool port_open;       // someone has the device side open
    int64_t now_ms;       // time of the command
};

// Runs one command line (changed in place while it is split into words). The reply, without
// a line end, goes into reply.
EmuAction emu_control_execute(EmuControl* control, char* line, char* reply, size_t cap);
