// The time axes of the wave's pictures (the terminal chart and the SVG): each phase, the
// switching on and the switching off, is drawn on an axis of its own that starts at 0 (the
// detection, or the off timer) and runs a little past the phase's end, with ticks every 1, 2 or 5
// times a power of ten ms, labelled in ms or, from steps of a second on, in seconds.
#pragma once

#include <string>

#include "settings/timeline.h"

struct TimelineAxis {
    double from_ms; // time at the axis' left end, from the detection
    double span_ms; // the axis covers from_ms .. from_ms + span_ms
    double step_ms; // between two ticks; the first is at from_ms
    int ticks;      // ticks after the first: the last is at from_ms + ticks * step_ms
    bool seconds;   // the labels count seconds, not ms
};

// An axis `width` units long (a unit being the width of one character of a label) for a phase
// that starts at `from_ms` and lasts `needed_ms`; at least 10 ms are shown. Each tick label,
// written from its tick rightwards, keeps a blank before the next tick.
TimelineAxis timeline_axis_make(double from_ms, double needed_ms, double width);

// Both phases' axes. They share one scale when their lengths are alike (within four times), so
// that a fall twice as fast as the rise looks so; else each has its own.
void timeline_axes(const TimelinePhases& phases, double width, TimelineAxis* on, TimelineAxis* off);

// The label of tick i (0..ticks), counted from the axis' start: "0", "500", "1.5" (seconds).
std::string timeline_axis_label(const TimelineAxis& axis, int i);

// "ms" or "s".
const char* timeline_axis_unit(const TimelineAxis& axis);
