// Port discovery and identification, on the user-interface thread.
#pragma once

#include <windows.h>

#include <cstdint>

// One scan pass: list the system's serial ports, open each and send it the identification
// request, with a probe timer per port. Called by the dialog when the scan tick fires.
void scan_ports();

// Reads the values of the open SERIALCOMM key into the PortEntry table; returns their number, or
// 0 when the enumeration does not go ahead.
uint32_t enumerate_ports(HKEY key);

// Opens, configures and probes the entries of the pass; returns the number probed.
int probe_ports();

// A probe timer fired: reads the answers of the ports probed with it and connects the first
// controller found.
void handle_probe_timer(UINT_PTR id);
