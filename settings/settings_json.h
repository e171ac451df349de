// Settings read back from the JSON document that `show --json` prints, so that a user can print
// the settings, edit them in any editor and give the file back as a source.
//
// The document is one object: "source" (optional, its value ignored), the seven global values
// by name, and "channels", an array of exactly 24 records, record k holding "channel": k + 1
// and the ten channel values by name. Every name must be there and nothing else; a flag is true
// or false, a number a JSON number that fits a single-precision value. Channel 24's
// "standby_enabled" may be null or absent: the values then do not hold it, as with a .lv24 file.
// A number becomes the float nearest the decimal written. (Read as a double first, as the form
// reads a typed one, a decimal a hair from halfway between two floats would round twice and
// could land on the other: the shortest text of one float, 7.038531e-26, does, and would not
// come back as itself.)
#pragma once

#include <cstddef>

#include "settings/settings_values.h"

constexpr size_t JSON_WHY_BYTES = 256;

// Reads the n bytes at `text` (no terminator needed). Returns 0 and the values, or -1 with a
// sentence in `why` naming the value and where it stands (its JSON path, its channel, its line)
// or the place of a syntax error; `out` is left as it was then.
int values_from_json(const char* text, size_t n, SettingsValues* out, char why[JSON_WHY_BYTES]);
