// The emulator's command line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct EmuOptions {
    long control_port;        // TCP port of the control channel; 0: pick a free one
    bool use_stdin;           // also take control commands on standard input
    bool static_sensors;      // fixed readings instead of a moving staircase
    uint32_t seed;            // varies the simulated walks
    const char* version;      // version text; null: the default
    const char* store_path;   // settings store file; null: settings live in memory only
    const char* log_path;     // log file; null: standard error
    const char* link_path;    // symbolic link kept pointing at the current pseudo-terminal
    const char* wine_prefix;  // Wine prefix to attach to; null: none
    long com;                 // COM port number in that prefix
    bool no_register;         // make only the dosdevices link, no registry value
    const char* wine_program; // wine launcher
    long lifetime_s;          // end by itself after this many seconds; 0: never
    long baud;                // line rate both ways in bits a second; 0: bytes pass at once
};

// Returns 0, 1 when --help was asked for, or -1 with a message in error.
int emu_options_parse(int argc, char** argv, EmuOptions* options, char* error, size_t cap);
void emu_options_usage(FILE* out);
