// Each chart cell shows the level at the middle of the time it covers. Labels are laid out on
// a line of cells and never overlap: a label that would run into the next panel (or past the
// line) is moved left to end before it, and one that would then touch the label before it is
// left out.
#include "cli/timeline_chart.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/timeline_axis.h"

namespace {

// Columns of a chart line: the channel number and a blank, the switching on, the hold between
// the phases ("  ┊  "), the switching off; labels under the axes may run two columns past the
// last panel, to 79 columns.
constexpr int LABEL_COLUMNS = 3; // " 15"
constexpr int ON_AT = LABEL_COLUMNS + 1;
constexpr int PANEL_CELLS = 34;
constexpr int OFF_AT = ON_AT + PANEL_CELLS + 5;
constexpr int LINE_COLUMNS = 79;
// Right of a panel, on the row of a channel whose phase there is late (settings/timeline.h).
constexpr char LATE_MARK[] = "»";

// A line of one-column cells, each holding one UTF-8 character.
using Cells = std::vector<std::string>;

std::string join(const Cells& cells) {
    std::string line;
    for (const std::string& c : cells) {
        line += c;
    }
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    return line + "\n";
}

void put_text(Cells* cells, int at, const std::string& ascii) {
    for (size_t i = 0; i < ascii.size() && at + i < cells->size(); ++i) {
        (*cells)[at + i] = std::string(1, ascii[i]);
    }
}

const char* shade(double level) {
    if (level <= 0.0) {
        return " ";
    }
    if (level < 5.0) {
        return "·";
    }
    if (level < 25.0) {
        return "░";
    }
    if (level < 50.0) {
        return "▒";
    }
    return level < 75.0 ? "▓" : "█";
}

int tick_column(const TimelineAxis& axis, int i) {
    return static_cast<int>(std::lround(i * axis.step_ms / axis.span_ms * PANEL_CELLS));
}

// The row of one channel across a panel starting at column `at`.
void put_wave(Cells* cells, int at, const TimelineChannel& channel, const TimelineAxis& axis) {
    const double cell_ms = axis.span_ms / PANEL_CELLS;
    for (int i = 0; i < PANEL_CELLS; ++i) {
        const double t = axis.from_ms + (i + 0.5) * cell_ms;
        (*cells)[at + i] = shade(timeline_level(&channel, t));
    }
}

// Tick marks on a rule (`mark` at each tick) and the labels under them, for a panel at `at`
// whose labels must end before column `limit`.
void put_axis(Cells* rule, Cells* labels, int at, int limit, const TimelineAxis& axis,
              const char* mark) {
    for (int i = 0; i < PANEL_CELLS; ++i) {
        (*rule)[at + i] = "─";
    }
    int free_from = at;
    for (int i = 0; i <= axis.ticks; ++i) {
        const int column = at + tick_column(axis, i);
        if (column < at + PANEL_CELLS) {
            (*rule)[column] = mark;
        }
        const std::string label = timeline_axis_label(axis, i);
        int start = column;
        if (start + static_cast<int>(label.size()) > limit) {
            start = limit - static_cast<int>(label.size());
        }
        if (start < free_from) {
            continue;
        }
        put_text(labels, start, label);
        free_from = start + static_cast<int>(label.size()) + 1;
    }
}

size_t columns_of(const std::string& utf8) {
    size_t columns = 0;
    for (unsigned char ch : utf8) {
        columns += (ch & 0xC0) != 0x80; // UTF-8 continuation bytes take no column
    }
    return columns;
}

// `text` cut after each `separator` (which stays with the piece before it, less its blank).
std::vector<std::string> cut_after(const std::string& text, const char* separator) {
    std::vector<std::string> pieces;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(separator, at);
        end = end == std::string::npos ? text.size() : end + 1;
        pieces.push_back(text.substr(at, end - at));
        at = end < text.size() ? end + 1 : end;
    }
    return pieces;
}

// The summary in lines of at most LINE_COLUMNS columns, later lines indented by `indent`
// blanks: cut at its "; ", and a clause too long for a line of its own also at its ", " (such
// as an order listed step by step).
std::string wrapped(const std::string& summary, size_t indent = 3) {
    std::vector<std::string> pieces;
    for (const std::string& clause : cut_after(summary, "; ")) {
        if (columns_of(clause) + indent <= LINE_COLUMNS) {
            pieces.push_back(clause);
            continue;
        }
        for (const std::string& part : cut_after(clause, ", ")) {
            pieces.push_back(part);
        }
    }
    std::string text;
    std::string line;
    size_t line_columns = 0;
    for (const std::string& piece : pieces) {
        const size_t columns = columns_of(piece);
        if (!line.empty() && line_columns + 1 + columns > LINE_COLUMNS) {
            text += line + "\n";
            line = std::string(indent, ' ');
            line_columns = indent;
        } else if (!line.empty()) {
            line += " ";
            line_columns += 1;
        }
        line += piece;
        line_columns += columns;
    }
    return text + line + "\n";
}

std::string summary_of(const float table[SETTINGS_COUNT]) {
    Timeline timeline;
    timeline_from_table(table, &timeline);
    char summary[TIMELINE_SUMMARY_BYTES];
    timeline_summary(&timeline, summary, sizeof summary);
    return summary;
}

std::string number(double value) {
    char text[TIMELINE_NUMBER_BYTES];
    timeline_number_text(value, text);
    return text;
}

std::string marked(double value, bool replaced) {
    return number(value) + (replaced ? "*" : "");
}

constexpr size_t TIME_COLUMNS = 9; // a time in the table
constexpr double MS_PER_HOUR = 3600000.0;

// A time in ms, or in hours ("1193 h") where the ms would not fit its column.
std::string time_cell(double ms, bool replaced, bool* in_hours) {
    const std::string text = marked(ms, replaced);
    if (text.size() <= TIME_COLUMNS) {
        return text;
    }
    *in_hours = true;
    return number(ms / MS_PER_HOUR) + " h" + (replaced ? "*" : "");
}

std::string padded(const std::string& text, int width) {
    return text.size() < static_cast<size_t>(width) ? std::string(width - text.size(), ' ') + text
                                                    : text;
}

bool bit(const TimelineChannel& c, int column) {
    return (c.adjusted & (1u << column)) != 0;
}

std::string dark_line(const Timeline& timeline) {
    bool pick[CHANNEL_COUNT] = {};
    int count = 0;
    for (const TimelineChannel& c : timeline.channels) {
        pick[c.channel - 1] = c.dark;
        count += c.dark;
    }
    if (count == 0) {
        return "";
    }
    char list[TIMELINE_LIST_BYTES];
    timeline_channel_list(pick, list, sizeof list);
    return std::string("  ") + list +
           (count == 1 ? ": dark, never gives light\n" : ": dark, never give light\n");
}

} // namespace

std::string timeline_table_text(const Timeline& timeline) {
    std::string text =
        "    -------- ms from the detection -------- ----------- levels, % ------------\n"
        " ch lights at fully lit dims from   dark at  rest on start→end   off start→end\n";
    bool any_marked = timeline.off_timer_adjusted;
    bool in_hours = false;
    for (const TimelineChannel& c : timeline.channels) {
        if (c.dark) {
            continue;
        }
        const bool on = bit(c, COL_ON_DELAY);
        const bool rise = on || bit(c, COL_RISE_TIME);
        const bool off = timeline.off_timer_adjusted || bit(c, COL_OFF_DELAY);
        const bool fall = off || bit(c, COL_FALL_TIME);
        any_marked = any_marked || c.adjusted != 0;
        char row[160];
        snprintf(row, sizeof row, "%3d %9s %9s %9s %9s %5s %8s→%-5s %9s→%s\n", c.channel,
                 time_cell(c.on_begin_ms, on, &in_hours).c_str(),
                 time_cell(c.on_end_ms, rise, &in_hours).c_str(),
                 time_cell(c.off_begin_ms, off, &in_hours).c_str(),
                 time_cell(c.off_end_ms, fall, &in_hours).c_str(),
                 marked(c.rest_level, bit(c, COL_STANDBY_LEVEL)).c_str(),
                 marked(c.on_start_level, bit(c, COL_ON_START_LEVEL)).c_str(),
                 marked(c.on_end_level, bit(c, COL_ON_END_LEVEL)).c_str(),
                 marked(c.off_start_level, bit(c, COL_OFF_START_LEVEL)).c_str(),
                 marked(c.off_end_level, bit(c, COL_OFF_END_LEVEL)).c_str());
        text += row;
    }
    text += dark_line(timeline);
    if (any_marked) {
        text += "  * not a number or out of range in the settings: taken as 0 or the limit\n";
    }
    if (in_hours) {
        text += "  h: hours, for a time too long to show in ms\n";
    }
    return text;
}

std::string timeline_chart_text(const Timeline& timeline) {
    TimelinePhases phases;
    timeline_phases(&timeline, &phases);
    TimelineAxis on;
    TimelineAxis off;
    timeline_axes(phases, PANEL_CELLS, &on, &off);

    Cells title(LINE_COLUMNS, " ");
    Cells unit(LINE_COLUMNS, " ");
    put_text(&title, ON_AT, "switching on");
    put_text(&unit, ON_AT, std::string(timeline_axis_unit(on)) + " after the detection");
    put_text(&title, OFF_AT, "switching off");
    put_text(&unit, OFF_AT,
             std::string(timeline_axis_unit(off)) + " after the off timer, " +
                 number(timeline.off_timer_ms / 1000.0) + " s");
    std::string text = join(title) + join(unit);

    Cells top(LINE_COLUMNS, " ");
    Cells unused(LINE_COLUMNS, " ");
    put_text(&top, 0, " ch");
    put_axis(&top, &unused, ON_AT, OFF_AT - 1, on, "┬");
    put_axis(&top, &unused, OFF_AT, LINE_COLUMNS, off, "┬");
    text += join(top);

    bool any_late = false;
    for (int n = CHANNEL_COUNT; n >= 1; --n) {
        const TimelineChannel& c = timeline.channels[n - 1];
        if (c.dark) {
            continue;
        }
        Cells row(LINE_COLUMNS, " ");
        put_text(&row, 0, padded(std::to_string(n), LABEL_COLUMNS));
        put_wave(&row, ON_AT, c, on);
        row[OFF_AT - 3] = "┊";
        put_wave(&row, OFF_AT, c, off);
        if (c.on_late) {
            row[ON_AT + PANEL_CELLS] = LATE_MARK;
        }
        if (c.off_late) {
            row[OFF_AT + PANEL_CELLS] = LATE_MARK;
        }
        any_late = any_late || c.on_late || c.off_late;
        text += join(row);
    }

    Cells bottom(LINE_COLUMNS, " ");
    Cells labels(LINE_COLUMNS, " ");
    put_axis(&bottom, &labels, ON_AT, OFF_AT - 1, on, "┴");
    put_axis(&bottom, &labels, OFF_AT, LINE_COLUMNS, off, "┴");
    text += join(bottom) + join(labels);
    text += "  █ 75-100 %  ▓ 50-75 %  ▒ 25-50 %  ░ 5-25 %  · under 5 %  blank: off\n";
    if (any_late) {
        text += "  » goes on past the axis: later than an hour into the phase (see the table)\n";
    }
    return text;
}

std::string timeline_report_text(const Timeline& timeline, bool with_chart) {
    char summary[TIMELINE_SUMMARY_BYTES];
    timeline_summary(&timeline, summary, sizeof summary);
    std::string text = wrapped(summary) + "\n" + timeline_table_text(timeline);
    if (with_chart) {
        text += '\n'; // appended apart: gcc 12 warns wrongly about "\n" + a temporary string
        text += timeline_chart_text(timeline);
    }
    return text + TIMELINE_NOTE + "\n";
}

std::string timeline_change_text(const float before[SETTINGS_COUNT],
                                 const float after[SETTINGS_COUNT]) {
    if (memcmp(before, after, sizeof(float) * SETTINGS_COUNT) == 0) {
        return "";
    }
    const std::string was = summary_of(before);
    const std::string is = summary_of(after);
    if (was == is) {
        return wrapped("unchanged: " + was, 11);
    }
    return wrapped("before: " + was, 8) + wrapped("after:  " + is, 8);
}
