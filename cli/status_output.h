// Status readings as the command-line tool prints them, once or while watching.
#pragma once

#include <string>

#include "cli/output.h"
#include "link/status_reply.h"

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
