// Settings as the command-line tool shows, compares and writes them: the SettingsTable's values
// with a mark for each value a source does not hold, the names scripts know them by (those of
// the settings' rows), and their shortest texts. What the controller can hold of them is in
// settings_hold.h.
//
// A source is a settings file, the factory defaults or the controller:
// - a file holds every value but RepeatTimer and the last channel's StandbyEnabled;
// - the defaults are what the form shows after "По умолчанию", gathered as the form gathers;
// - the controller's image is taken as the window takes it: unpacked, shown in the form and
//   gathered again. So a file saved from it is the file the window saves after a controller
//   read: the light threshold comes as whole percent (a 30 % threshold returns from the
//   controller as 30.0048828125 and is 30 in the form) and a flag is 1 or 0. Only a value
//   below 0 that the form would show as "-0" keeps its own digits (a raw threshold of 4097 is
//   -0.0244140625 %), so that it does not pass for 0.
// RepeatTimer is neither sent nor saved: no source holds it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/frame.h"
#include "settings/settings_file_format.h"
#include "settings/settings_layout.h"

struct SettingsValues {
    float table[SETTINGS_COUNT]; // the values, by table position
    bool held[SETTINGS_COUNT];   // false where the source holds no value
};

constexpr int VALUES_GLOBAL_NAMES = 7;   // the global values with a name (RepeatTimer has none)
constexpr size_t VALUES_TEXT_BYTES = 32; // room for any value's text

// Name of global value i (0..6, in the order scripts see them) and its table position.
const char* values_global_name(int i);
int values_global_position(int i);

// Name of channel column `column` (0..9).
const char* values_channel_name(int column);

// A position's name and channel (1..24; 0 for a global value). False for RepeatTimer.
bool values_position_name(int position, const char** name, int* channel);

void values_from_file(const uint8_t image[SETTINGS_FILE_IMAGE_BYTES], SettingsValues* out);
void values_from_defaults(SettingsValues* out);
// The controller's image through the form, as described above.
void values_from_controller(const uint8_t image[WIRE_IMAGE_BYTES], SettingsValues* out);
// The controller's image exactly as unpacked, for comparing what is stored there.
void values_from_image(const uint8_t image[WIRE_IMAGE_BYTES], SettingsValues* out);

// The text of a value: a flag (a check box) is "true" exactly when the value is 1.0 and "false"
// otherwise; a number is the shortest decimal that reads back to the same single-precision
// value ("0.1", "100", "1e+10"), "nan", "inf" or "-inf". Returns the length.
size_t values_text(int position, float value, char out[VALUES_TEXT_BYTES]);
// The number text of a value whatever its kind (a flag too: 1, 0, 0.5).
size_t values_number_text(float value, char out[VALUES_TEXT_BYTES]);

// True when two sources differ at a position that both hold: flags by what they show, numbers
// by their texts (so 0 and -0 differ, and every NaN is the same).
bool values_differ(const SettingsValues* a, const SettingsValues* b, int position);

// The image of a settings file holding `values`, as the window saves its form: the disk bytes,
// line ends and all. Returns the byte count.
constexpr size_t VALUES_FILE_DISK_MAX = SETTINGS_FILE_DISK_MAX;
size_t values_file_bytes(const SettingsValues* values, uint8_t out[VALUES_FILE_DISK_MAX]);

// Reads a settings file's disk bytes as the window loads them (settings_file_load). Returns
// VALUES_FILE_OK and the values, or why the window refuses it.
enum ValuesFileResult : int {
    VALUES_FILE_OK = SETTINGS_LOAD_OK,
    VALUES_FILE_SHORT = SETTINGS_LOAD_SHORT,
    VALUES_FILE_CRC = SETTINGS_LOAD_CRC,
    VALUES_FILE_LINE_ENDS = SETTINGS_LOAD_LINE_ENDS,
};
int values_file_load(const uint8_t* disk, size_t n, SettingsValues* out);

// Positions in listing order: the seven named global values, then channel after channel, each
// in column order. Returns the count (SETTINGS_COUNT - 1: RepeatTimer has no place).
constexpr size_t VALUES_LISTED = SETTINGS_COUNT - 1;
size_t values_listing_order(int out[VALUES_LISTED]);

// The unit of a position's value: "cm", "s", "ms" or "%"; "" for a flag and for RepeatTimer.
const char* values_unit(int position);
