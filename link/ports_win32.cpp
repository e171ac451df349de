// Port discovery and identification land here: the registry list of serial ports, the probes
// and the recognition of the controller's answer. Until then a scan finds nothing.
#include "link/ports.h"

void scan_ports() {}

void handle_probe_timer(UINT_PTR) {}
