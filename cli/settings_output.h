// Settings as the command-line tool prints them: a table for people, the JSON form that scripts
// read (and that the tool takes back as a source), and the values at which two sources differ.
#pragma once

#include <string>

#include "cli/output.h"
#include "settings/settings_hold.h"

Json settings_json(const std::string& source, const SettingsValues& values);
std::string settings_json_text(const std::string& source, const SettingsValues& values);
std::string settings_text(const std::string& source, const SettingsValues& values);

// The values at which two sources differ: the global values in the order of their names, then
// channel after channel, each in column order.
Json differences_json(const SettingsValues& a, const SettingsValues& b);
std::string differences_text(const SettingsValues& a, const SettingsValues& b);
bool values_equal(const SettingsValues& a, const SettingsValues& b);

// One line per value the controller does not hold as given: "  channel 3 off_delay_ms: -2 ->
// 4294967294", the value given, then what the controller holds or would hold.
std::string mismatches_text(const ValueMismatch* list, size_t n);

// One line per value held that is not a finite number, which JSON has no number for: "  channel
// 7 fall_time_ms: nan", in listing order; *count says how many there are.
std::string not_finite_text(const SettingsValues& values, size_t* count);

// One line per value the controller cannot hold: "  channel 1 on_delay_ms: -5 (it holds 0 to
// 4294967040 ms)", the value given (as typed, where `typed` has a text for its position), then
// the range its field holds, in the value's unit.
std::string unholdable_text(const ValueMismatch* list, size_t n,
                            const std::string* typed = nullptr);
