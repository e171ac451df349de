// The light wave a settings table describes, worked out from the settings alone: when each
// channel starts to light, is fully lit, starts to go dark and is dark, its brightness at any
// moment, and a one-line summary of the order of the steps.
//
// What the settings are taken to mean (the picture follows the settings, it is no measurement):
// - One person is detected at t = 0 and nobody after. The light sensor is left out: night.
// - Before it lights, a channel rests at its standby level if its standby is on (the flag is
//   exactly 1.0), else it is dark (level 0).
// - At its on-delay it goes to its on-start level and rises in a straight line to its on-end
//   level over its rise time, then holds it.
// - At the off timer (seconds from t = 0) plus its off-delay it goes to its off-start level and
//   falls in a straight line to its off-end level over its fall time, then rests as it did
//   before it lit.
// So, in ms from the detection: on_begin = on-delay, on_end = on_begin + rise time,
// off_begin = off timer * 1000 + off-delay, off_end = off_begin + fall time.
//
// A rise or fall time of 0 is a step: the level jumps to the on-end level at on_begin, or
// straight to the resting level at off_begin. When the switching off begins before the
// switching on has ended (off_begin < on_end), the switching off takes over at off_begin: the
// rise is cut short, or never starts when off_begin comes before on_begin.
//
// Values that cannot be meant as they stand are replaced before anything is worked out, and the
// channel (or the timeline, for the off timer) records which: a time or a level that is not a
// number or is negative is taken as 0; a time beyond what the controller's field holds is taken
// as that limit (4294967295 ms for the channel times, 65535 s for the off timer); a level above
// 100 % as 100 %. Every time is then finite and below 9e9 ms, so nothing that walks a time axis
// can run away.
//
// A channel that never gives light (its on-start, on-end, off-start and off-end levels all 0,
// and no standby glow: standby off or its level 0) is "dark".
//
// A phase of a channel that takes longer than TIMELINE_SENSIBLE_MS, counted from the phase's
// start (the detection, or the off timer), is "late": the pictures scale their time axes to the
// channels that are not, so that one absurd delay (1e30 ms, taken as the limit) does not squash
// every other channel into the axis' first column, and they mark the late one instead.
#pragma once

#include <cstddef>
#include <cstdint>

#include "settings/setting_rows.h"

constexpr double TIMELINE_LEVEL_MAX = 100.0; // %, full brightness
// The longest phase the pictures scale their axes to: an hour, twenty times the factory's off
// timer of 180 s and far beyond any staircase's wave of a few seconds.
constexpr double TIMELINE_SENSIBLE_MS = 3600000.0;

// The line every picture of the wave carries (78 characters: it fits a terminal).
inline constexpr char TIMELINE_NOTE[] =
    "Drawn from the settings, not measured: one person at 0 ms only, night assumed.";

// One channel's wave. Times in ms from the detection, levels in %.
struct TimelineChannel {
    int channel;            // 1..24
    bool dark;              // never gives light (see above)
    uint16_t adjusted;      // bit (1 << column) set: that channel column was replaced
    double on_begin_ms;     // on-delay: the level goes to on_start_level
    double on_end_ms;       // on_begin + rise time: on_end_level reached, then held
    double off_begin_ms;    // off timer + off-delay: the level goes to off_start_level
    double off_end_ms;      // off_begin + fall time: off_end_level reached, then at rest
    double rest_level;      // before on_begin and from off_end on: standby level or 0
    double on_start_level;  // at on_begin
    double on_end_level;    // from on_end to off_begin
    double off_start_level; // at off_begin
    double off_end_level;   // reached at off_end
    bool on_late;           // on_end comes more than TIMELINE_SENSIBLE_MS after the detection
    bool off_late;          // off_end comes more than TIMELINE_SENSIBLE_MS after the off timer
};

struct Timeline {
    double off_timer_ms;                     // the off timer, from the detection
    bool off_timer_adjusted;                 // the off timer was replaced
    TimelineChannel channels[CHANNEL_COUNT]; // channel n at index n - 1
};

// Works out every channel's wave from a settings table.
void timeline_from_table(const float table[SETTINGS_COUNT], Timeline* out);

// The level of a channel at `t_ms` (before 0 it is at rest; the wave is continuous from the
// right: at a step the new level counts).
double timeline_level(const TimelineChannel* channel, double t_ms);

// A point of the wave drawn as straight lines; at a step two points share one time.
struct TimelinePoint {
    double t_ms;  // time from the detection
    double level; // %
};
constexpr size_t TIMELINE_WAVE_POINTS = 16; // enough for any window of any wave

// The wave of a channel between `from_ms` and `to_ms` (from < to) as the corners of a line:
// joining the points with straight lines draws it exactly. Returns the number of points.
size_t timeline_wave(const TimelineChannel* channel, double from_ms, double to_ms,
                     TimelinePoint out[TIMELINE_WAVE_POINTS]);

// The two phases the pictures show, each as far as any channel that gives light and is not late
// in it goes: the switching on from 0 to the last on_end, the switching off from the off timer to
// the last off_end. A phase in which every channel that gives light is late spans
// TIMELINE_SENSIBLE_MS. Both are empty spans (to == from) when every channel is dark.
struct TimelinePhases {
    double on_to_ms;    // the switching on spans 0 .. on_to_ms
    double off_from_ms; // the off timer
    double off_to_ms;   // the switching off spans off_from_ms .. off_to_ms
};
void timeline_phases(const Timeline* timeline, TimelinePhases* out);

// A time or a level as people read it: rounded to a tenth (halves away from zero), the ".0" of a
// whole number left out ("150", "0.1", "182100"). Returns the length.
constexpr size_t TIMELINE_NUMBER_BYTES = 24;
size_t timeline_number_text(double value, char out[TIMELINE_NUMBER_BYTES]);

// Channel numbers where `pick[n - 1]` is true, as a short list: "16-24", "2, 4, 7-9".
// Returns the length; cut (never overflowing) when `cap` is too small.
constexpr size_t TIMELINE_LIST_BYTES = 96;
size_t timeline_channel_list(const bool pick[CHANNEL_COUNT], char* out, size_t cap);

// The summary a person reads first, in UTF-8, for example
//   "lights 1→15, 150 ms apart; goes dark 15→1, 150 ms apart; 16-24 dark"
// - the order in which the channels that give light light up (by on_begin) and go dark (by
//   off_end): from the bottom ("1→15") or from the top ("15→1"), whichever most neighbouring
//   steps follow, equal times taken in that order; the spacing when it is even, else its range
//   ("49-50 ms apart"), or "1-15 at once";
// - each step that goes against that order, named with the neighbour it overtakes ("but 7 goes
//   dark before 8"); with more than three such steps there is no order to speak of, and the
//   channels are listed in the order they come ("lights 150-225 ms apart in the order 1, 3,
//   5"), neighbours that follow each other as a run ("4→6");
// - the steps whose switching off begins before they are fully lit;
// - the dark channels ("16-24 dark"), and the channels and off timer whose values were replaced.
// Returns the length; cut before a word or number that does not fit in `cap`.
constexpr size_t TIMELINE_SUMMARY_BYTES = 1024; // room for any summary
size_t timeline_summary(const Timeline* timeline, char* out, size_t cap);
