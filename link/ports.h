// Port discovery and controller identification, driven by the main dialog's timers.
#pragma once

#include <windows.h>

// One scan pass: list the serial ports, open and probe each. Called on a scan tick.
void scan_ports();

// A probe timer (id = port number + TIMER_PROBE_BASE) fired: read that port's answer.
void handle_probe_timer(UINT_PTR id);
