// What the command-line tool prints: texts for people on standard output, JSON for scripts, and
// one sentence per message on standard error. Part of the front end: the JSON library may throw,
// and cli_main catches whatever does.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

#include "settings/settings_values.h"
#include "link/status_reply.h"

using Json = nlohmann::ordered_json; // keys stay in the order they are fixed in

void out_text(const std::string& text);
void out_json(const Json& value);            // indented, one document
void out_json_line(const Json& value);       // one line, for a stream of documents
void err_line(const std::string& sentence);  // an error, always said
void note_line(const std::string& sentence); // what was done; nothing with -q
void out_set_quiet(bool quiet);

// Shows one frame on standard error for -v: seconds since the first frame shown, the port, the
// direction (">>" sent, "<<" received) and the bytes in hex ("(nothing)" for an empty answer).
void out_trace(const char* port, bool sent, const uint8_t* bytes, size_t n);

// The controller's 8-bit text as the window decodes it (its Cyrillic code page), in UTF-8.
std::string text_from_controller(const char* text);
// The same with control characters shown as '?', for a terminal.
std::string printable(const std::string& utf8);

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

// One status reading as the window shows it: the illuminance rounded to a tenth, each distance
// to whole centimetres, or no distance where its sensor fails.
Json status_json(const std::string& port, const StatusReadings& readings);
std::string status_text(const StatusReadings& readings);
// The lowest and highest distance each sensor has shown while watched, in whole centimetres as
// shown; a failed sensor shows none.
struct DistanceRanges {
    bool seen[2];      // the sensor has shown a distance
    long long low[2];  // the lowest shown
    long long high[2]; // the highest shown
};
void ranges_add(DistanceRanges* ranges, const StatusReadings& readings);
// "distance 1 seen: 45-300 cm   distance 2 seen: none"
std::string ranges_text(const DistanceRanges& ranges);

// The line a watch keeps up to date on a terminal, short enough for 80 columns: each distance
// with the lowest and highest seen in brackets, and the illuminance; or no valid reading.
std::string watch_line_text(const StatusReadings* readings, const DistanceRanges& ranges);

// A watched answer in which no status frame stood: no numbers at all.
Json invalid_status_json(const std::string& port);
std::string invalid_status_text();
