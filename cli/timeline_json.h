// The wave of the settings for scripts: {"summary": "...", "channels": [...]} with all 24
// channels in order, each {"channel": n, "dark": false, "on_begin_ms": ..., "on_end_ms": ...,
// "off_begin_ms": ..., "off_end_ms": ...}, the times in ms from the detection rounded to a tenth
// as the texts show them (whole numbers as integers); a channel that never gives light has
// "dark": true and the four times null. Part of the front end: the JSON library may throw.
#pragma once

#include <nlohmann/json.hpp>

#include "settings/timeline.h"

nlohmann::ordered_json timeline_json(const Timeline& timeline);
