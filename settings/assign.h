// One assignment of `lumivo24-cli set`: NAME=VALUE for a global value, chSEL.NAME=VALUE for a
// channel value, NAME being the name `show --json` prints.
//
// SEL picks channels, in the order written: a channel (7), a range counted up or down (1-15,
// 15-1), a list of either (1,3,5 or 1-3,7), or * for all 24 from 1 up; no channel twice.
// VALUE is a number (the C locale's form: 12.5, -3, 1e+3), true or false for the two flags (and
// only for them), or for a channel number a sequence START+STEP: the k-th channel of the
// selection, counted from 0, gets START + k * STEP, worked out as a double and stored as a float.
// Every value must come out as a finite float. Whether the controller can hold it is not judged
// here.
#pragma once

#include <cstddef>

#include "settings/settings_values.h"

constexpr size_t ASSIGN_WHY_BYTES = 256;

struct Assignment {
    int positions[CHANNEL_COUNT]; // table positions changed, in selection order
    int count;                    // how many: 1 for a global value, 1..24 for channel values
    double start;                 // value of the first (a flag: 1 or 0)
    double step;                  // added for each next one (0 for a single value)
};

// Returns 0 and the assignment, or -1 with a sentence in `why` that names the assignment and
// what is wrong with it.
int assign_parse(const char* text, Assignment* out, char why[ASSIGN_WHY_BYTES]);

// Puts the values in place and marks them held.
void assign_apply(const Assignment* a, SettingsValues* values);
