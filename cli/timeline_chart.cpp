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
// the phases ("  │  "), the switching off; labels under the axes may run two columns past the
// last panel, to the line's last column (79 for 80 columns, one being left free as a terminal
// needs it for the cursor).
constexpr int LABEL_COLUMNS = 3; // " 15"
constexpr int ON_AT = LABEL_COLUMNS + 1;
constexpr int HOLD_COLUMNS = 5;
constexpr int LABEL_OVERRUN = 2;
constexpr int FULL_COLUMNS = 80; // the layout of a file, and of every terminal this wide or wider

// The panels' width and where the switching off begins, for lines of `line` columns.
struct ChartGeometry {
    int line;
    int panel;
    int off_at;
};

// The characters of the picture, in Unicode or in ASCII.
struct Glyphs {
    const char* shades[6]; // off, under 5 %, to 25 %, to 50 %, to 75 %, to 100 %
    const char* rule;
    const char* top_tick;
    const char* bottom_tick;
    const char* hold;
    const char* late; // right of a panel, on the row of a channel whose phase there is late
};

constexpr Glyphs UNICODE_GLYPHS = {{" ", "·", "░", "▒", "▓", "█"}, "─", "┬", "┴", "│", "»"};
constexpr Glyphs ASCII_GLYPHS = {{" ", ".", "-", "+", "*", "#"}, "-", "+", "+", "|", ">"};

const Glyphs& glyphs_of(const TimelineLook& look) {
    return look.unicode ? UNICODE_GLYPHS : ASCII_GLYPHS;
}

bool full_width(const TimelineLook& look) {
    return look.columns == 0 || look.columns >= FULL_COLUMNS;
}

// The columns a line may fill.
int line_columns(const TimelineLook& look) {
    return (full_width(look) ? FULL_COLUMNS : look.columns) - 1;
}

ChartGeometry geometry_of(const TimelineLook& look) {
    const int line = line_columns(look);
    const int panel = (line - ON_AT - HOLD_COLUMNS - LABEL_OVERRUN) / 2;
    return {line, panel, ON_AT + panel + HOLD_COLUMNS};
}

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

const char* shade(const Glyphs& glyphs, double level) {
    if (level <= 0.0) {
        return glyphs.shades[0];
    }
    if (level < 5.0) {
        return glyphs.shades[1];
    }
    if (level < 25.0) {
        return glyphs.shades[2];
    }
    if (level < 50.0) {
        return glyphs.shades[3];
    }
    return level < 75.0 ? glyphs.shades[4] : glyphs.shades[5];
}

int tick_column(const TimelineAxis& axis, int i, int panel) {
    return static_cast<int>(std::lround(i * axis.step_ms / axis.span_ms * panel));
}

// The row of one channel across a panel starting at column `at`.
void put_wave(Cells* cells, int at, int panel, const TimelineChannel& channel,
              const TimelineAxis& axis, const Glyphs& glyphs) {
    const double cell_ms = axis.span_ms / panel;
    for (int i = 0; i < panel; ++i) {
        const double t = axis.from_ms + (i + 0.5) * cell_ms;
        (*cells)[at + i] = shade(glyphs, timeline_level(&channel, t));
    }
}

// Tick marks on a rule (`mark` at each tick) and the labels under them, for a panel at `at`
// whose labels must end before column `limit`.
void put_axis(Cells* rule, Cells* labels, int at, int panel, int limit, const TimelineAxis& axis,
              const char* line, const char* mark) {
    for (int i = 0; i < panel; ++i) {
        (*rule)[at + i] = line;
    }
    int free_from = at;
    for (int i = 0; i <= axis.ticks; ++i) {
        const int column = at + tick_column(axis, i, panel);
        if (column < at + panel) {
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

// Pieces put on lines of at most `width` columns, a blank between two on a line, the first
// line indented by `lead` blanks and later ones by `indent`; a piece longer than a line has one
// of its own.
std::string filled(const std::vector<std::string>& pieces, size_t width, size_t indent,
                   size_t lead = 0) {
    std::string text;
    std::string line(lead, ' ');
    size_t line_columns = lead;
    bool fresh = true; // no piece on the line yet
    for (const std::string& piece : pieces) {
        const size_t columns = columns_of(piece);
        if (!fresh && line_columns + 1 + columns > width) {
            text += line + "\n";
            line = std::string(indent, ' ');
            line_columns = indent;
        } else if (!fresh) {
            line += " ";
            line_columns += 1;
        }
        line += piece;
        line_columns += columns;
        fresh = false;
    }
    return text + line + "\n";
}

// A sentence in lines of at most `width` columns, cut at its blanks.
std::string wrapped_words(const std::string& sentence, size_t width, size_t lead, size_t indent) {
    std::vector<std::string> words;
    size_t at = 0;
    while (at < sentence.size()) {
        size_t end = sentence.find(' ', at);
        end = end == std::string::npos ? sentence.size() : end;
        if (end > at) {
            words.push_back(sentence.substr(at, end - at));
        }
        at = end + 1;
    }
    return filled(words, width, indent, lead);
}

// The summary in lines of at most `width` columns, later lines indented by `indent` blanks:
// cut at its "; ", and a clause too long for a line of its own also at its ", " (such as an
// order listed step by step).
std::string wrapped(const std::string& summary, size_t indent = 3, size_t width = 79) {
    std::vector<std::string> pieces;
    for (const std::string& clause : cut_after(summary, "; ")) {
        if (columns_of(clause) + indent <= width) {
            pieces.push_back(clause);
            continue;
        }
        for (const std::string& part : cut_after(clause, ", ")) {
            pieces.push_back(part);
        }
    }
    return filled(pieces, width, indent);
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
    return std::string(list) +
           (count == 1 ? ": dark, never gives light" : ": dark, never give light");
}

// The table's headings, over its times and over its levels (which begin with the blank between
// the two), and the form of a row's levels: the arrow takes two columns in ASCII, which the
// columns of the start levels give back.
constexpr char TIMES_RULE[] = "-------- ms from the detection --------";
constexpr char TIMES_HEADS[] = " lights at fully lit dims from   dark at";
constexpr char LEVELS_RULE[] = " ----------- levels, % ------------";
constexpr char LEVELS_HEADS[] = "  rest on start→end   off start→end";
constexpr char LEVELS_HEADS_ASCII[] = " rest on start->end  off start->end";
constexpr char LEVELS_FORM[] = " %5s %8s→%-5s %9s→%s";
constexpr char LEVELS_FORM_ASCII[] = " %5s %7s->%-5s %8s->%s";
constexpr size_t ROW_BYTES = 160;

// One channel's row: its times and its levels, each led by a blank.
void table_cells(const Timeline& timeline, const TimelineChannel& c, bool unicode,
                 std::string* times, std::string* levels, bool* in_hours) {
    const bool on = bit(c, COL_ON_DELAY);
    const bool rise = on || bit(c, COL_RISE_TIME);
    const bool off = timeline.off_timer_adjusted || bit(c, COL_OFF_DELAY);
    const bool fall = off || bit(c, COL_FALL_TIME);
    char row[ROW_BYTES];
    snprintf(row, sizeof row, " %9s %9s %9s %9s", time_cell(c.on_begin_ms, on, in_hours).c_str(),
             time_cell(c.on_end_ms, rise, in_hours).c_str(),
             time_cell(c.off_begin_ms, off, in_hours).c_str(),
             time_cell(c.off_end_ms, fall, in_hours).c_str());
    *times = row;
    snprintf(row, sizeof row, unicode ? LEVELS_FORM : LEVELS_FORM_ASCII,
             marked(c.rest_level, bit(c, COL_STANDBY_LEVEL)).c_str(),
             marked(c.on_start_level, bit(c, COL_ON_START_LEVEL)).c_str(),
             marked(c.on_end_level, bit(c, COL_ON_END_LEVEL)).c_str(),
             marked(c.off_start_level, bit(c, COL_OFF_START_LEVEL)).c_str(),
             marked(c.off_end_level, bit(c, COL_OFF_END_LEVEL)).c_str());
    *levels = row;
}

std::string legend(const Glyphs& glyphs, int line) {
    const std::vector<std::string> items = {
        std::string(glyphs.shades[5]) + " 75-100 %",  std::string(glyphs.shades[4]) + " 50-75 %",
        std::string(glyphs.shades[3]) + " 25-50 %",   std::string(glyphs.shades[2]) + " 5-25 %",
        std::string(glyphs.shades[1]) + " under 5 %", "blank: off"};
    std::string text;
    std::string row;
    for (const std::string& item : items) {
        if (!row.empty() && columns_of(row) + 2 + columns_of(item) > static_cast<size_t>(line)) {
            text += row + "\n";
            row.clear();
        }
        row += "  " + item;
    }
    return text + row + "\n";
}

} // namespace

std::string timeline_table_text(const Timeline& timeline, const TimelineLook& look) {
    const bool whole = full_width(look);
    const char* level_heads = look.unicode ? LEVELS_HEADS : LEVELS_HEADS_ASCII;
    std::string times = std::string("    ") + TIMES_RULE + (whole ? LEVELS_RULE : "") + "\n" +
                        " ch" + TIMES_HEADS + (whole ? level_heads : "") + "\n";
    std::string levels = std::string("   ") + LEVELS_RULE + "\n ch" + level_heads + "\n";
    bool any_marked = timeline.off_timer_adjusted;
    bool in_hours = false;
    for (const TimelineChannel& c : timeline.channels) {
        if (c.dark) {
            continue;
        }
        any_marked = any_marked || c.adjusted != 0;
        std::string time_cells;
        std::string level_cells;
        table_cells(timeline, c, look.unicode, &time_cells, &level_cells, &in_hours);
        const std::string channel = padded(std::to_string(c.channel), LABEL_COLUMNS);
        if (whole) {
            times += channel + time_cells + level_cells + "\n";
        } else {
            times += channel + time_cells + "\n";
            levels += channel + level_cells + "\n";
        }
    }
    std::string text = whole ? times : times + "\n" + levels;
    const size_t line = static_cast<size_t>(line_columns(look));
    const std::string dark = dark_line(timeline);
    if (!dark.empty()) {
        text += wrapped_words(dark, line, 2, 4);
    }
    if (any_marked) {
        text += wrapped_words("* not a number or out of range in the settings: taken as 0 or the "
                              "limit",
                              line, 2, 4);
    }
    if (in_hours) {
        text += "  h: hours, for a time too long to show in ms\n";
    }
    return text;
}

std::string timeline_chart_text(const Timeline& timeline, const TimelineLook& look) {
    const Glyphs& glyphs = glyphs_of(look);
    const ChartGeometry g = geometry_of(look);
    const size_t cells = static_cast<size_t>(g.line);
    TimelinePhases phases;
    timeline_phases(&timeline, &phases);
    TimelineAxis on;
    TimelineAxis off;
    timeline_axes(phases, g.panel, &on, &off);

    Cells title(cells, " ");
    Cells unit(cells, " ");
    put_text(&title, ON_AT, "switching on");
    put_text(&unit, ON_AT, std::string(timeline_axis_unit(on)) + " after the detection");
    put_text(&title, g.off_at, "switching off");
    // Moved left, as a label is, where a narrow line has no room for it.
    const std::string off_unit = std::string(timeline_axis_unit(off)) + " after the off timer, " +
                                 number(timeline.off_timer_ms / 1000.0) + " s";
    const int off_unit_at = g.line - static_cast<int>(off_unit.size());
    put_text(&unit, off_unit_at < g.off_at ? off_unit_at : g.off_at, off_unit);
    std::string text = join(title) + join(unit);

    Cells top(cells, " ");
    Cells unused(cells, " ");
    put_text(&top, 0, " ch");
    put_axis(&top, &unused, ON_AT, g.panel, g.off_at - 1, on, glyphs.rule, glyphs.top_tick);
    put_axis(&top, &unused, g.off_at, g.panel, g.line, off, glyphs.rule, glyphs.top_tick);
    text += join(top);

    bool any_late = false;
    for (int n = CHANNEL_COUNT; n >= 1; --n) {
        const TimelineChannel& c = timeline.channels[n - 1];
        if (c.dark) {
            continue;
        }
        Cells row(cells, " ");
        put_text(&row, 0, padded(std::to_string(n), LABEL_COLUMNS));
        put_wave(&row, ON_AT, g.panel, c, on, glyphs);
        row[g.off_at - 3] = glyphs.hold;
        put_wave(&row, g.off_at, g.panel, c, off, glyphs);
        if (c.on_late) {
            row[ON_AT + g.panel] = glyphs.late;
        }
        if (c.off_late) {
            row[g.off_at + g.panel] = glyphs.late;
        }
        any_late = any_late || c.on_late || c.off_late;
        text += join(row);
    }

    Cells bottom(cells, " ");
    Cells labels(cells, " ");
    put_axis(&bottom, &labels, ON_AT, g.panel, g.off_at - 1, on, glyphs.rule, glyphs.bottom_tick);
    put_axis(&bottom, &labels, g.off_at, g.panel, g.line, off, glyphs.rule, glyphs.bottom_tick);
    text += join(bottom) + join(labels) + legend(glyphs, g.line);
    if (any_late) {
        text += wrapped_words(std::string(glyphs.late) + " goes on past the axis: later than an "
                                                         "hour into the phase (see the table)",
                              cells, 2, 4);
    }
    return text;
}

std::string timeline_report_text(const Timeline& timeline, bool with_chart,
                                 const TimelineLook& look) {
    const size_t line = static_cast<size_t>(line_columns(look));
    char summary[TIMELINE_SUMMARY_BYTES];
    timeline_summary(&timeline, summary, sizeof summary);
    std::string text = wrapped(summary, 3, line) + "\n";
    if (look.columns != 0 && look.columns < TIMELINE_MIN_COLUMNS) {
        char said[ROW_BYTES];
        snprintf(said, sizeof said, "%s %d columns; the terminal has %d.\n",
                 with_chart ? "The table and the chart need" : "The table needs",
                 TIMELINE_MIN_COLUMNS, look.columns);
        text += said;
    } else {
        text += timeline_table_text(timeline, look);
        if (with_chart) {
            text += '\n'; // appended apart: gcc 12 warns wrongly about "\n" + a temporary string
            text += timeline_chart_text(timeline, look);
        }
    }
    return text + wrapped_words(TIMELINE_NOTE, line, 0, 0);
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
