// The wave of the settings as a picture: a standalone SVG document (UTF-8) that any browser
// opens. One lane per channel that gives light, the top step on top, its brightness over time as
// a grey area under a black line; the switching on and the switching off side by side, each on
// its own time axis with tick labels; each lane labelled with its channel number and with the
// times it starts to light and is dark. The axes leave out a channel whose phase is late
// (settings/timeline.h): its lane says at its end when that phase ends ("fully lit at
// 4294967795 ms »"). Greys and outlines only, so a black-and-white print
// reads the same; the summary heads it and TIMELINE_NOTE closes it.
#pragma once

#include <string>

#include "settings/timeline.h"

std::string timeline_svg(const Timeline& timeline);
