// The control channel's transport: a TCP listener on 127.0.0.1 (test programs under Wine reach
// it there) taking a few clients at once, and optionally the emulator's standard input. Bytes
// are gathered into lines; each complete line goes to the handler, whose reply is sent back as
// one line. A line longer than EMU_LINE_MAX is answered with an error and dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <poll.h>

constexpr size_t EMU_CLIENTS = 8;            // TCP clients at once
constexpr size_t EMU_LINE_MAX = 65536;       // characters of one command line
constexpr size_t EMU_REPLY_MAX = 128 * 1024; // characters of one reply
constexpr size_t EMU_SERVER_POLLFDS = EMU_CLIENTS + 2;

struct EmuClient {
    int in;                  // descriptor read from; -1 when the slot is free
    int out;                 // descriptor replies go to
    size_t length;           // characters gathered in line
    bool overlong;           // the current line has overflowed and is being skipped
    char line[EMU_LINE_MAX]; // the line being gathered
};

struct EmuServer {
    int listener;                   // listening socket; -1 when none
    uint16_t port;                  // its port
    EmuClient clients[EMU_CLIENTS]; // TCP clients
    EmuClient input;                // standard input (in = -1 unless enabled)
    bool input_ended;               // standard input reached its end
};

// Handles one line; writes the reply (without line end) and returns true to end the emulator.
typedef bool (*EmuLineHandler)(void* context, char* line, char* reply, size_t cap);

// Marks every slot free and the listener absent (safe to close afterwards).
void emu_server_init(EmuServer* server);

// Listens on 127.0.0.1:port (0: any free port). Returns 0, or -1.
int emu_server_open(EmuServer* server, uint16_t port, bool use_stdin);
void emu_server_close(EmuServer* server);

// Fills pollfds for the listener and the clients; returns how many (at most EMU_SERVER_POLLFDS).
size_t emu_server_pollfds(const EmuServer* server, struct pollfd* fds);

// Serves what the poll found. Returns true when a handler asked to end or standard input ended.
bool emu_server_service(EmuServer* server, const struct pollfd* fds, size_t count,
                        EmuLineHandler handler, void* context);
