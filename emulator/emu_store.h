// The controller's settings store kept in a file between runs: the 643 payload bytes as they
// stand, nothing else. The file is replaced atomically (a temporary file beside it, flushed to
// disk, then renamed over it), so a crash never leaves half a store behind.
#pragma once

#include <cstdint>

#include "emulator/emu_frame.h"

enum EmuStoreResult {
    EMU_STORE_LOADED = 0,   // the payload was read
    EMU_STORE_ABSENT = 1,   // no such file: the caller keeps its factory payload
    EMU_STORE_INVALID = -1, // unreadable or not exactly 643 bytes: payload unchanged
};

EmuStoreResult emu_store_load(const char* path, uint8_t payload[EMU_SETTINGS_BYTES]);

// Returns 0, or -1 when the file could not be written (the old file is then left as it was).
int emu_store_save(const char* path, const uint8_t payload[EMU_SETTINGS_BYTES]);
