// The emulator's end of the serial line: a pseudo-terminal whose device side
// (/dev/pts/N) plays the controller's port.
//
// The master stays open whether or not anyone has the device side open. While nobody has it
// open, the master reports a hang-up on every poll; the event loop then leaves the master out
// of its polls and looks again every EMU_PTY_RECHECK_MS, so it neither spins nor misses the
// next opener for long. Bytes written while the port is closed would wait in the terminal's
// queue for the next opener, which a real port would never show, so they are flushed.
//
// Unplugging closes the master: whoever holds the device side gets a hang-up and errors.
// Plugging opens a new pseudo-terminal, whose number may differ; the paths that programs use
// (a --link symlink, a Wine COM link) are re-pointed to it.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int64_t EMU_PTY_RECHECK_MS = 20;
// On a paced line the look comes every millisecond instead: the first request of a program that
// has just opened the port would otherwise wait up to 20 ms, which no real line adds to the
// figures measured on it.
constexpr int64_t EMU_PTY_RECHECK_PACED_MS = 1;

struct EmuPty {
    int master;     // master descriptor; -1 while unplugged
    char path[64];  // device side, e.g. /dev/pts/5
    bool peer_open; // someone had the device side open when last looked at
};

// Opens a pseudo-terminal with a non-blocking master and a raw device side at 115200 baud.
// Returns 0, or -1 (master stays -1).
int emu_pty_open(EmuPty* pty);
void emu_pty_close(EmuPty* pty);

// Whether someone has the device side open now (the master does not report a hang-up).
bool emu_pty_peer_present(const EmuPty* pty);

// Drops the bytes written toward the device side and not yet read there. Meant for a closed
// port: it opens and closes the device side for a moment.
void emu_pty_flush_output(const EmuPty* pty);

// Makes `link` a symbolic link to `target`, replacing an existing symbolic link atomically.
// Refuses (-1) to replace anything that is not a symbolic link.
int emu_symlink_replace(const char* target, const char* link);

// Removes `link` if it is a symbolic link to `target` (another program's link is left alone).
void emu_symlink_remove_if(const char* link, const char* target);
