// lumivo24-emulator: a LUMIVO24 controller on a pseudo-terminal, for developing and testing
// the configuration tool without the device. See emu_control.h for the control commands and
// emu_options.cpp for the command line.
#include <cstdio>

#include "emulator/emu_loop.h"

static Emulator emulator; // large; lives in static storage

int main(int argc, char** argv) {
    char error[256];
    int parsed = emu_options_parse(argc, argv, &emulator.options, error, sizeof error);
    if (parsed != 0) {
        if (parsed < 0) {
            fprintf(stderr, "lumivo24-emulator: %s\n", error);
        }
        emu_options_usage(parsed < 0 ? stderr : stdout);
        return parsed < 0 ? 2 : 0;
    }
    if (emu_start(&emulator) != 0) {
        return 1;
    }
    emu_run(&emulator);
    emu_stop(&emulator);
    return 0;
}
