// Port discovery and identification, on the user-interface thread.
#pragma once

#include <windows.h>

#include <cstdint>

#include "app/app_state.h"
#include "link/ident_answer.h"

// One scan pass: list the system's serial ports, open each and send it the identification
// request, with a probe timer per port. Called by the dialog when the scan tick fires. While
// LINK_IDENTIFIED is set the port count is still logged, but no port is probed.
void scan_ports();

// Reads the values of the open SERIALCOMM key into the PortEntry table; returns their number, or
// 0 when the enumeration does not go ahead.
uint32_t enumerate_ports(HKEY key);

// Opens, configures and probes the entries of the pass; returns the number probed.
int probe_ports();

// A probe timer fired: reads the answers of the ports probed with it and connects the first
// controller found.
void handle_probe_timer(UINT_PTR id);

// A controller answered on `entry`'s port: makes it the active port, logs the connection,
// unlocks the form for the supported board (IDENT_SUPPORTED_REVISION), starts the link worker
// and the poll timer, and closes every other probed port. When the worker cannot be started, the
// connection is given up at once: a line in the log, the port closed, the form locked, the
// identification cleared, and the next scan tick scans again. While LINK_IDENTIFIED is set (a
// worker runs, or is still ending) no connection starts: the port is closed and its entry
// cleared, to be probed again on a later pass.
void connect_controller(PortEntry* entry, const IdentAnswer* answer);

// Starts the link worker thread: the C runtime's _beginthread. The Win32 tests put a starter
// that fails here.
extern uintptr_t(__cdecl* link_thread_start)(void(__cdecl*)(void*), unsigned, void*);
