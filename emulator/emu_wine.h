// Attaching the emulator to a Wine prefix as serial port COM<N>.
//
// Two things make a COM port under Wine: the DOS device link <prefix>/dosdevices/com<N>, which
// Wine follows when a program opens COM<N>, and a value in the registry key
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, which is where programs look for the list of ports. The
// link points at the emulator's pseudo-terminal. Unplugging removes both, as a USB adapter's
// port leaves the system when it is pulled, and plugging makes them again for the new
// pseudo-terminal. The registry value ("\Device\LumivoEmu<N>" = "COM<N>") is written by running
// `wine reg add`. That key is volatile: it lives only as long as the prefix's wineserver, so
// the caller must keep one running (`wineserver -p` with the same WINEPREFIX) for as long as
// the port is to be listed, and stop it afterwards. With --no-register only the link is made.
// On exit the link is removed (if it still points at this emulator) and the value deleted.
#pragma once

#include <climits>
#include <cstddef>

struct EmuWine {
    bool enabled;             // --wine-prefix was given
    char prefix[PATH_MAX];    // the Wine prefix
    int com;                  // port number N
    bool register_port;       // write the registry value (false with --no-register)
    const char* wine_program; // the wine launcher, "wine" unless --wine says otherwise
    char link[PATH_MAX];      // <prefix>/dosdevices/com<N>
    char linked_to[64];       // pseudo-terminal the link points at; empty when none
    bool registered;          // the registry value was written by us
};

constexpr int EMU_WINE_TIMEOUT_S = 60; // longest a `wine reg` run may take

// Name and data of the registry value for port `com`.
void emu_wine_value_name(int com, char* out, size_t cap);
void emu_wine_value_data(int com, char* out, size_t cap);

// Makes the link (creating <prefix>/dosdevices if needed) and, unless told not to, registers
// the port: at start and at every plug. Returns 0, or -1 with a message on standard error.
int emu_wine_attach(EmuWine* wine, const char* pty_path);

// Points the link at `pty_path`, replacing a link of ours.
int emu_wine_repoint(EmuWine* wine, const char* pty_path);

// Removes the link and the registry value written by emu_wine_attach: at every unplug and on
// exit.
void emu_wine_detach(EmuWine* wine);
