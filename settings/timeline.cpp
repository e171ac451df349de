// The wave is evaluated piece by piece, later phases first, so that the switching off takes over
// wherever it overlaps the switching on. The summary compares times rounded to a tenth of a
// millisecond, the precision it prints, so that 33.3 ms and 33.29999 ms count as one spacing.
#include "settings/timeline.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/number_text.h"

namespace {

// ---- Values as the wave takes them ---------------------------------------------------------

// NaN and negatives become 0, values beyond `max` become `max`; -0 becomes 0.
double usable(float value, double max, bool* replaced) {
    const double v = static_cast<double>(value);
    if (!(v >= 0.0)) {
        *replaced = true;
        return 0.0;
    }
    if (v > max) {
        *replaced = true;
        return max;
    }
    return v + 0.0;
}

double channel_value(const float table[SETTINGS_COUNT], int column, int channel, double max,
                     uint16_t* adjusted) {
    bool replaced = false;
    const double v = usable(table[channel_position(column, channel)], max, &replaced);
    if (replaced) {
        *adjusted = static_cast<uint16_t>(*adjusted | (1u << column));
    }
    return v;
}

// A channel time: beyond what its field holds, the field's largest value.
double channel_time(const float table[SETTINGS_COUNT], int column, int channel,
                    uint16_t* adjusted) {
    return channel_value(table, column, channel, setting_field_highest(ChannelRows[column]),
                         adjusted);
}

double ramp(double from_level, double to_level, double begin, double end, double t) {
    if (end <= begin) {
        return to_level;
    }
    return from_level + (to_level - from_level) * ((t - begin) / (end - begin));
}

// The level at t, or its limit from the left (just before t) when `from_left` is set.
double level_at(const TimelineChannel* c, double t, bool from_left) {
    auto reached = [&](double boundary) { return from_left ? t > boundary : t >= boundary; };
    if (reached(c->off_end_ms)) {
        return c->rest_level;
    }
    if (reached(c->off_begin_ms)) {
        return ramp(c->off_start_level, c->off_end_level, c->off_begin_ms, c->off_end_ms, t);
    }
    if (reached(c->on_end_ms)) {
        return c->on_end_level;
    }
    if (reached(c->on_begin_ms)) {
        return ramp(c->on_start_level, c->on_end_level, c->on_begin_ms, c->on_end_ms, t);
    }
    return c->rest_level; // also for a t that is not a number
}

// ---- Bounded text --------------------------------------------------------------------------

// Appends whole pieces only, so a cut text never ends inside a UTF-8 sequence.
struct TextOut {
    char* out;
    size_t cap;
    size_t at;
    bool full; // a piece did not fit; nothing more is added
};

void put(TextOut* w, const char* piece) {
    const size_t n = strlen(piece);
    if (w->full || w->cap == 0 || w->at + n >= w->cap) {
        w->full = true;
        return;
    }
    memcpy(w->out + w->at, piece, n);
    w->at += n;
    w->out[w->at] = '\0';
}

void put_number(TextOut* w, double value) {
    char text[TIMELINE_NUMBER_BYTES];
    timeline_number_text(value, text);
    put(w, text);
}

void put_channel(TextOut* w, int channel) {
    char text[8];
    snprintf(text, sizeof text, "%d", channel);
    put(w, text);
}

// ---- The summary ---------------------------------------------------------------------------

const char* const ARROW = "\xE2\x86\x92"; // →

// The channels that give light, in channel order, and the time each phase is judged by.
struct Phase {
    int lit[CHANNEL_COUNT];           // channel numbers, ascending
    int n;                            // how many
    long long key[CHANNEL_COUNT + 1]; // time in tenths of ms, by channel number (index 0 unused)
    const char* verb;                 // "lights", "goes dark"
};

long long tenths(double ms) {
    return std::llround(ms * 10.0);
}

// Channels in the order of their times; equal times in the order the phase mostly follows.
void sort_by_time(const Phase* p, bool upward, int seq[CHANNEL_COUNT]) {
    for (int i = 0; i < p->n; ++i) {
        seq[i] = upward ? p->lit[i] : p->lit[p->n - 1 - i];
    }
    for (int i = 1; i < p->n; ++i) { // insertion sort: stable, at most 24 entries
        const int c = seq[i];
        int j = i;
        while (j > 0 && p->key[seq[j - 1]] > p->key[c]) {
            seq[j] = seq[j - 1];
            --j;
        }
        seq[j] = c;
    }
}

void put_spacing(TextOut* w, const Phase* p, const int seq[CHANNEL_COUNT]) {
    long long low = p->key[seq[1]] - p->key[seq[0]];
    long long high = low;
    for (int i = 2; i < p->n; ++i) {
        const long long gap = p->key[seq[i]] - p->key[seq[i - 1]];
        low = gap < low ? gap : low;
        high = gap > high ? gap : high;
    }
    put_number(w, static_cast<double>(low) / 10.0);
    if (high != low) {
        put(w, "-");
        put_number(w, static_cast<double>(high) / 10.0);
    }
    put(w, " ms apart");
}

// The order as runs of neighbouring channels: "3, 7, 1→2, 4→6".
void put_runs(TextOut* w, const Phase* p, const int seq[CHANNEL_COUNT]) {
    int index_of[CHANNEL_COUNT + 1] = {};
    for (int i = 0; i < p->n; ++i) {
        index_of[p->lit[i]] = i;
    }
    int i = 0;
    while (i < p->n) {
        int end = i;
        if (i + 1 < p->n) {
            const int step = index_of[seq[i + 1]] - index_of[seq[i]];
            if (step == 1 || step == -1) {
                while (end + 1 < p->n && index_of[seq[end + 1]] - index_of[seq[end]] == step) {
                    ++end;
                }
            }
        }
        if (i > 0) {
            put(w, ", ");
        }
        put_channel(w, seq[i]);
        if (end > i) {
            put(w, ARROW);
            put_channel(w, seq[end]);
        }
        i = end + 1;
    }
}

void put_phase(TextOut* w, const Phase* p) {
    put(w, p->verb);
    put(w, " ");
    if (p->n == 1) {
        put_channel(w, p->lit[0]);
        return;
    }
    int up = 0;
    int down = 0;
    for (int j = 0; j + 1 < p->n; ++j) {
        const long long a = p->key[p->lit[j]];
        const long long b = p->key[p->lit[j + 1]];
        up += b > a;
        down += b < a;
    }
    if (up == 0 && down == 0) {
        bool pick[CHANNEL_COUNT] = {};
        for (int j = 0; j < p->n; ++j) {
            pick[p->lit[j] - 1] = true;
        }
        char list[TIMELINE_LIST_BYTES];
        timeline_channel_list(pick, list, sizeof list);
        put(w, list);
        put(w, " at once");
        return;
    }
    const bool upward = up >= down;
    int seq[CHANNEL_COUNT];
    sort_by_time(p, upward, seq);
    const int against = upward ? down : up;
    if (against > 3) { // no order to speak of: the list itself
        put_spacing(w, p, seq);
        put(w, " in the order ");
        put_runs(w, p, seq);
        return;
    }
    put_channel(w, upward ? p->lit[0] : p->lit[p->n - 1]);
    put(w, ARROW);
    put_channel(w, upward ? p->lit[p->n - 1] : p->lit[0]);
    put(w, ", ");
    put_spacing(w, p, seq);
    int named = 0;
    for (int j = 0; j + 1 < p->n; ++j) {
        const int lower = p->lit[j];
        const int upper = p->lit[j + 1];
        const bool upper_first = p->key[upper] < p->key[lower];
        const bool lower_first = p->key[lower] < p->key[upper];
        if (upward ? !upper_first : !lower_first) {
            continue;
        }
        put(w, named == 0 ? ", but " : ", ");
        put_channel(w, upward ? upper : lower);
        if (named == 0) {
            put(w, " ");
            put(w, p->verb);
        }
        put(w, " before ");
        put_channel(w, upward ? lower : upper);
        ++named;
    }
}

void put_list_clause(TextOut* w, const bool pick[CHANNEL_COUNT], const char* one,
                     const char* many) {
    int count = 0;
    for (int i = 0; i < CHANNEL_COUNT; ++i) {
        count += pick[i];
    }
    if (count == 0) {
        return;
    }
    char list[TIMELINE_LIST_BYTES];
    timeline_channel_list(pick, list, sizeof list);
    if (w->at > 0) {
        put(w, "; ");
    }
    put(w, list);
    put(w, count == 1 ? one : many);
}

} // namespace

void timeline_from_table(const float table[SETTINGS_COUNT], Timeline* out) {
    bool replaced = false;
    out->off_timer_ms =
        usable(table[POS_OFF_TIMER], setting_field_highest(GlobalRows[POS_OFF_TIMER]), &replaced) *
        1000.0;
    out->off_timer_adjusted = replaced;
    for (int n = 1; n <= CHANNEL_COUNT; ++n) {
        TimelineChannel* c = &out->channels[n - 1];
        uint16_t adjusted = 0;
        const double on_delay = channel_time(table, COL_ON_DELAY, n, &adjusted);
        const double rise = channel_time(table, COL_RISE_TIME, n, &adjusted);
        const double off_delay = channel_time(table, COL_OFF_DELAY, n, &adjusted);
        const double fall = channel_time(table, COL_FALL_TIME, n, &adjusted);
        c->channel = n;
        c->on_begin_ms = on_delay;
        c->on_end_ms = on_delay + rise;
        c->off_begin_ms = out->off_timer_ms + off_delay;
        c->off_end_ms = c->off_begin_ms + fall;
        c->on_start_level =
            channel_value(table, COL_ON_START_LEVEL, n, TIMELINE_LEVEL_MAX, &adjusted);
        c->on_end_level = channel_value(table, COL_ON_END_LEVEL, n, TIMELINE_LEVEL_MAX, &adjusted);
        c->off_start_level =
            channel_value(table, COL_OFF_START_LEVEL, n, TIMELINE_LEVEL_MAX, &adjusted);
        c->off_end_level =
            channel_value(table, COL_OFF_END_LEVEL, n, TIMELINE_LEVEL_MAX, &adjusted);
        const double standby =
            channel_value(table, COL_STANDBY_LEVEL, n, TIMELINE_LEVEL_MAX, &adjusted);
        const bool standby_on = table[channel_position(COL_STANDBY_ENABLED, n)] == 1.0f;
        c->rest_level = standby_on ? standby : 0.0;
        c->dark = c->on_start_level == 0.0 && c->on_end_level == 0.0 && c->off_start_level == 0.0 &&
                  c->off_end_level == 0.0 && c->rest_level == 0.0;
        c->adjusted = adjusted;
        c->on_late = c->on_end_ms > TIMELINE_SENSIBLE_MS;
        c->off_late = c->off_end_ms - out->off_timer_ms > TIMELINE_SENSIBLE_MS;
    }
}

double timeline_level(const TimelineChannel* channel, double t_ms) {
    return level_at(channel, t_ms, false);
}

size_t timeline_wave(const TimelineChannel* channel, double from_ms, double to_ms,
                     TimelinePoint out[TIMELINE_WAVE_POINTS]) {
    if (!(from_ms < to_ms)) {
        return 0;
    }
    // The corners inside the window, in time order (the four times are never out of order but
    // for the switching off overtaking the switching on, so they are sorted).
    double corners[4] = {channel->on_begin_ms, channel->on_end_ms, channel->off_begin_ms,
                         channel->off_end_ms};
    for (int i = 1; i < 4; ++i) {
        for (int j = i; j > 0 && corners[j - 1] > corners[j]; --j) {
            const double swap = corners[j];
            corners[j] = corners[j - 1];
            corners[j - 1] = swap;
        }
    }
    size_t n = 0;
    out[n++] = {from_ms, level_at(channel, from_ms, false)};
    double last = from_ms;
    for (double t : corners) {
        if (t <= last || t >= to_ms) {
            continue;
        }
        const double before = level_at(channel, t, true);
        const double after = level_at(channel, t, false);
        out[n++] = {t, before};
        if (after != before) {
            out[n++] = {t, after};
        }
        last = t;
    }
    out[n++] = {to_ms, level_at(channel, to_ms, true)};
    return n;
}

void timeline_phases(const Timeline* timeline, TimelinePhases* out) {
    out->on_to_ms = 0.0;
    out->off_from_ms = timeline->off_timer_ms;
    out->off_to_ms = timeline->off_timer_ms;
    bool on_late = false;
    bool off_late = false;
    bool on_timely = false;
    bool off_timely = false;
    for (const TimelineChannel& c : timeline->channels) {
        if (c.dark) {
            continue;
        }
        on_late = on_late || c.on_late;
        off_late = off_late || c.off_late;
        if (!c.on_late) {
            on_timely = true;
            out->on_to_ms = c.on_end_ms > out->on_to_ms ? c.on_end_ms : out->on_to_ms;
        }
        if (!c.off_late) {
            off_timely = true;
            out->off_to_ms = c.off_end_ms > out->off_to_ms ? c.off_end_ms : out->off_to_ms;
        }
    }
    if (on_late && !on_timely) {
        out->on_to_ms = TIMELINE_SENSIBLE_MS;
    }
    if (off_late && !off_timely) {
        out->off_to_ms = out->off_from_ms + TIMELINE_SENSIBLE_MS;
    }
}

size_t timeline_number_text(double value, char out[TIMELINE_NUMBER_BYTES]) {
    // The form's own "%.1f", so that a tenth is rounded as everywhere else; its ".0" and the
    // sign of a value that rounds to zero are left out.
    char16_t wide[TIMELINE_NUMBER_BYTES];
    size_t n = num_format_fixed(wide, TIMELINE_NUMBER_BYTES, value, 1);
    if (n >= 2 && wide[n - 2] == u'.' && wide[n - 1] == u'0') {
        n -= 2;
    }
    size_t from = n == 2 && wide[0] == u'-' && wide[1] == u'0' ? 1 : 0;
    for (size_t i = from; i < n; ++i) {
        out[i - from] = static_cast<char>(wide[i]); // digits, sign, point, or NaN / Inf
    }
    out[n - from] = '\0';
    return n - from;
}

size_t timeline_channel_list(const bool pick[CHANNEL_COUNT], char* out, size_t cap) {
    TextOut w = {out, cap, 0, false};
    if (cap > 0) {
        out[0] = '\0';
    }
    int n = 1;
    while (n <= CHANNEL_COUNT) {
        if (!pick[n - 1]) {
            ++n;
            continue;
        }
        int last = n;
        while (last < CHANNEL_COUNT && pick[last]) { // pick[last] is channel last + 1
            ++last;
        }
        if (w.at > 0) {
            put(&w, ", ");
        }
        put_channel(&w, n);
        if (last - n >= 2) {
            put(&w, "-");
            put_channel(&w, last);
        } else if (last > n) {
            put(&w, ", ");
            put_channel(&w, last);
        }
        n = last + 1;
    }
    return w.at;
}

size_t timeline_summary(const Timeline* timeline, char* out, size_t cap) {
    TextOut w = {out, cap, 0, false};
    if (cap > 0) {
        out[0] = '\0';
    }
    Phase on = {};
    Phase off = {};
    on.verb = "lights";
    off.verb = "goes dark";
    bool dark[CHANNEL_COUNT] = {};
    bool cut_short[CHANNEL_COUNT] = {};
    bool adjusted[CHANNEL_COUNT] = {};
    for (const TimelineChannel& c : timeline->channels) {
        adjusted[c.channel - 1] = c.adjusted != 0;
        if (c.dark) {
            dark[c.channel - 1] = true;
            continue;
        }
        on.lit[on.n++] = c.channel;
        off.lit[off.n++] = c.channel;
        on.key[c.channel] = tenths(c.on_begin_ms);
        off.key[c.channel] = tenths(c.off_end_ms);
        cut_short[c.channel - 1] = tenths(c.off_begin_ms) < tenths(c.on_end_ms);
    }
    if (on.n > 0) { // with every channel dark, the dark list says it all
        put_phase(&w, &on);
        put(&w, "; ");
        put_phase(&w, &off);
    }
    put_list_clause(&w, cut_short, " starts to go dark before it is fully lit",
                    " start to go dark before they are fully lit");
    put_list_clause(&w, dark, " dark", " dark");
    put_list_clause(&w, adjusted, " has values out of range, taken as 0 or the limit",
                    " have values out of range, taken as 0 or the limit");
    if (timeline->off_timer_adjusted) {
        put(&w, "; off timer out of range, taken as ");
        put_number(&w, timeline->off_timer_ms / 1000.0);
        put(&w, " s");
    }
    return w.at;
}
