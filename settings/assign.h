// One assignment of `lumivo24-cli set`: NAME=VALUE for a global value, chSEL.NAME=VALUE for a
// channel value, NAME being the name `show --json` prints. Several names, separated by commas,
// get the same value (ch16-24.on_end_level_percent,standby_level_percent=0): each name once, all
// global or all of channels.
//
// SEL picks channels, in the order written: a channel (7), a range counted up or down (1-15,
// 15-1), a list of either (1,3,5 or 1-3,7), or * for all 24 from 1 up; no channel twice.
// VALUE is a number as the window's form reads one, with a point or a decimal comma (12.5, 12,5,
// -3, 1e+3) and no blank or plus sign before it, true or false for the two flags (and only for
// them), or for a channel number a sequence START+STEP: the k-th channel of the
// selection, counted from 0, gets START + k * STEP, worked out as a double and stored as a float.
// A number too small for a double (1e-400) is 0, as JSON reads it. Every value must come out as
// a finite float. Whether the controller can hold it is not judged here.
#pragma once

#include <cstddef>

#include "settings/settings_values.h"

constexpr size_t ASSIGN_WHY_BYTES = 256;
constexpr size_t ASSIGN_VALUE_BYTES = 40; // a VALUE as a message quotes it, with its terminator

constexpr int ASSIGN_MAX_POSITIONS = CHANNEL_COLUMNS * CHANNEL_COUNT; // every channel value

struct Assignment {
    int positions[ASSIGN_MAX_POSITIONS]; // table positions changed: name after name, each with
                                         // its channels in selection order
    int count;                           // how many positions: names times channels
    int channels;  // channels per name (1 for global values): position k is the (k % channels)-th
    double start;  // value of the first channel of the selection (a flag: 1 or 0)
    double step;   // added for each next channel (0 for a single value)
    bool sequence; // VALUE was written START+STEP
    char value_text[ASSIGN_VALUE_BYTES]; // VALUE as typed (cut short, control bytes as '?')
};

// Returns 0 and the assignment, or -1 with a sentence in `why` that names the assignment and
// what is wrong with it.
int assign_parse(const char* text, Assignment* out, char why[ASSIGN_WHY_BYTES]);

// What the k-th position of the assignment gets, as a message shows it: the VALUE as typed, or
// for a sequence the number it gives that channel ("4294967200" of ch1-3.on_delay_ms=
// 4294967000+100 for channel 3). Returns the length.
size_t assign_value_text(const Assignment* a, int k, char out[ASSIGN_VALUE_BYTES]);

// Puts the values in place and marks them held.
void assign_apply(const Assignment* a, SettingsValues* values);
