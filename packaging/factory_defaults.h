// The factory defaults as a settings file, the way the window saves them right after start-up
// or after "По умолчанию": every default text of the form read as the form reads typed text,
// every check box as 1.0 or 0.0, then packed, sealed and given its line ends.
#pragma once

#include <cstddef>
#include <cstdint>

#include "settings/settings_layout.h"

// The table the form holds after the factory defaults have been written into it and gathered.
void factory_defaults_table(float table[SETTINGS_COUNT]);

// Writes the settings file of the factory defaults (the bytes on disk) into `out`. Returns its
// length, or 0 (writing nothing) when `cap` is too small.
size_t factory_defaults_file(uint8_t* out, size_t cap);
