// Steps are tried from small to large, so the first that fits gives the most ticks. Phases are
// bounded (every time of a Timeline is below 9e9 ms), and the step grows tenfold every three
// tries, so the search ends after a few dozen tries at most; it is also capped.
#include "cli/timeline_axis.h"

#include <cmath>

namespace {

constexpr double MIN_SPAN_MS = 10.0;
constexpr double SHARED_SCALE_RATIO = 4.0;
constexpr int MAX_TRIES = 60;
constexpr double MAX_TICKS = 8.0; // more would crowd the labels
constexpr double END_ROOM = 0.04; // the axis runs this much past the phase, to show its end

std::string label_for(double ms, bool seconds) {
    char text[TIMELINE_NUMBER_BYTES];
    timeline_number_text(seconds ? ms / 1000.0 : ms, text);
    return text;
}

} // namespace

TimelineAxis timeline_axis_make(double from_ms, double needed_ms, double width) {
    if (!(needed_ms >= MIN_SPAN_MS)) {
        needed_ms = MIN_SPAN_MS; // also for a length that is not a number
    }
    const double span = needed_ms * (1.0 + END_ROOM);
    TimelineAxis axis = {from_ms, span, span, 0, span >= 10000.0};
    const double multiples[3] = {1.0, 2.0, 5.0};
    double power = 1.0;
    for (int tries = 0; tries < MAX_TRIES; ++tries) {
        const double step = multiples[tries % 3] * power;
        if (tries % 3 == 2) {
            power *= 10.0;
        }
        const double ticks = std::floor(span / step + 1e-9);
        if (ticks > MAX_TICKS) {
            continue;
        }
        const bool seconds = step >= 1000.0;
        const double label = static_cast<double>(label_for(ticks * step, seconds).size());
        if (width * step / span < label + 1.0) {
            continue;
        }
        axis.step_ms = step;
        axis.ticks = static_cast<int>(ticks);
        axis.seconds = seconds;
        return axis;
    }
    return axis; // only the tick at 0
}

void timeline_axes(const TimelinePhases& phases, double width, TimelineAxis* on,
                   TimelineAxis* off) {
    const double on_ms = phases.on_to_ms;
    const double off_ms = phases.off_to_ms - phases.off_from_ms;
    const double longer = on_ms > off_ms ? on_ms : off_ms;
    const double shorter = on_ms > off_ms ? off_ms : on_ms;
    if (longer <= SHARED_SCALE_RATIO * (shorter > MIN_SPAN_MS ? shorter : MIN_SPAN_MS)) {
        *on = timeline_axis_make(0.0, longer, width);
        *off = timeline_axis_make(phases.off_from_ms, longer, width);
        return;
    }
    *on = timeline_axis_make(0.0, on_ms, width);
    *off = timeline_axis_make(phases.off_from_ms, off_ms, width);
}

std::string timeline_axis_label(const TimelineAxis& axis, int i) {
    return label_for(axis.step_ms * i, axis.seconds);
}

const char* timeline_axis_unit(const TimelineAxis& axis) {
    return axis.seconds ? "s" : "ms";
}
