// Coordinates are in px of a 1000 px wide page, written to a tenth with our own number texts, so
// the document is the same whatever the C runtime's locale. A glow (a level above 0 but under a
// few %, such as a standby level of 0.1 %) is drawn at least GLOW_PX high: on a linear scale it
// would vanish, and a technician must see which steps rest lit.
#include "cli/timeline_svg.h"

#include <cstdio>
#include <vector>

#include "cli/timeline_axis.h"

namespace {

constexpr double PAGE_W = 1000.0;
constexpr double LEFT = 64.0;  // room for the channel numbers
constexpr double GAP = 40.0;   // between the two phases
constexpr double RIGHT = 36.0; // room for the last tick label
constexpr double PANEL_W = (PAGE_W - LEFT - GAP - RIGHT) / 2.0;
constexpr double ON_X = LEFT;
constexpr double OFF_X = LEFT + PANEL_W + GAP;
constexpr double LANE_H = 30.0;
constexpr double LANE_GAP = 6.0;
constexpr double WAVE_H = LANE_H - 4.0; // 100 %
constexpr double GLOW_PX = 4.0;
constexpr double LABEL_CHAR_PX = 7.0; // a tick label character, 11 px text
constexpr size_t SUMMARY_LINE_CHARS = 105;

std::string num(double value) {
    char text[TIMELINE_NUMBER_BYTES];
    timeline_number_text(value, text);
    return text;
}

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// A text element; `attributes` are added as they stand.
std::string text_at(double x, double y, const std::string& attributes, const std::string& text) {
    return "<text x=\"" + num(x) + "\" y=\"" + num(y) + "\" " + attributes + ">" + escaped(text) +
           "</text>\n";
}

std::string line(double x1, double y1, double x2, double y2, const std::string& attributes) {
    return "<line x1=\"" + num(x1) + "\" y1=\"" + num(y1) + "\" x2=\"" + num(x2) + "\" y2=\"" +
           num(y2) + "\" " + attributes + "/>\n";
}

double x_of(const TimelineAxis& axis, double panel_x, double t_ms) {
    return panel_x + (t_ms - axis.from_ms) / axis.span_ms * PANEL_W;
}

double height_of(double level) {
    const double h = level / TIMELINE_LEVEL_MAX * WAVE_H;
    return level > 0.0 && h < GLOW_PX ? GLOW_PX : h;
}

// The summary in lines of at most SUMMARY_LINE_CHARS characters, cut after its "; ".
std::vector<std::string> summary_lines(const Timeline& timeline) {
    char summary[TIMELINE_SUMMARY_BYTES];
    timeline_summary(&timeline, summary, sizeof summary);
    const std::string text = summary;
    std::vector<std::string> lines(1);
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find("; ", at);
        end = end == std::string::npos ? text.size() : end + 2;
        const std::string clause = text.substr(at, end - at);
        if (!lines.back().empty() && lines.back().size() + clause.size() > SUMMARY_LINE_CHARS) {
            lines.emplace_back();
        }
        lines.back() += clause;
        at = end;
    }
    for (std::string& l : lines) {
        while (!l.empty() && l.back() == ' ') {
            l.pop_back();
        }
    }
    return lines;
}

// One phase of one lane: the grey area, the line over it and the key time.
std::string lane_wave(const TimelineChannel& c, const TimelineAxis& axis, double panel_x,
                      double top, bool on_phase) {
    TimelinePoint points[TIMELINE_WAVE_POINTS];
    const size_t n = timeline_wave(&c, axis.from_ms, axis.from_ms + axis.span_ms, points);
    const double base = top + LANE_H;
    std::string coordinates;
    for (size_t i = 0; i < n; ++i) {
        coordinates += num(x_of(axis, panel_x, points[i].t_ms)) + "," +
                       num(base - height_of(points[i].level)) + " ";
    }
    std::string svg = "<polygon fill=\"#c4c4c4\" points=\"" + coordinates + num(panel_x + PANEL_W) +
                      "," + num(base) + " " + num(panel_x) + "," + num(base) + "\"/>\n";
    svg += "<polyline fill=\"none\" stroke=\"#000\" stroke-width=\"1.4\" "
           "stroke-linejoin=\"round\" points=\"" +
           coordinates + "\"/>\n";

    const std::string halo = "font-size=\"10\" paint-order=\"stroke\" stroke=\"#fff\" "
                             "stroke-width=\"3\" stroke-linejoin=\"round\" ";
    // A late phase (settings/timeline.h) goes on past the axis: said at the lane's end.
    if (on_phase ? c.on_late : c.off_late) {
        char late[64];
        snprintf(late, sizeof late, on_phase ? "fully lit at %s ms »" : "dark at %s ms »",
                 num(on_phase ? c.on_end_ms : c.off_end_ms - axis.from_ms).c_str());
        svg += text_at(panel_x + PANEL_W - 3.0, top + 11.0, halo + "text-anchor=\"end\"", late);
    }

    // The time it starts to light, left of its rise; the time it is dark, right of its fall.
    // Where the lane's end leaves no room the label goes to the other side, high in the lane.
    // A step whose switching off comes before its switching on never starts to light.
    const double t = on_phase ? c.on_begin_ms : c.off_end_ms;
    if (t < axis.from_ms || t > axis.from_ms + axis.span_ms ||
        (on_phase && c.off_begin_ms <= c.on_begin_ms)) {
        return svg;
    }
    const double x = x_of(axis, panel_x, t);
    const std::string label = num(t - axis.from_ms); // in ms even on an axis in seconds: exact
    const double room = LABEL_CHAR_PX * static_cast<double>(label.size()) + 6.0;
    const bool before = on_phase ? x - panel_x >= room : panel_x + PANEL_W - x < room;
    const double y = on_phase == before ? top + LANE_H / 2.0 + 4.0 : top + 11.0;
    svg += text_at(before ? x - 3.0 : x + 3.0, y,
                   halo + (before ? "text-anchor=\"end\"" : "text-anchor=\"start\""), label);
    return svg;
}

// Ticks, labels and the unit of one phase's axis under the lanes, and its grid over them.
std::string axis_svg(const TimelineAxis& axis, double panel_x, double lanes_top,
                     double lanes_bottom, const std::string& unit_text) {
    std::string svg;
    svg += line(panel_x, lanes_bottom, panel_x + PANEL_W, lanes_bottom,
                "stroke=\"#000\" stroke-width=\"1\"");
    for (int i = 0; i <= axis.ticks; ++i) {
        const double x = x_of(axis, panel_x, axis.from_ms + i * axis.step_ms);
        svg += line(x, lanes_top, x, lanes_bottom,
                    "stroke=\"#888\" stroke-width=\"0.6\" stroke-dasharray=\"3,3\"");
        svg += line(x, lanes_bottom, x, lanes_bottom + 5.0, "stroke=\"#000\" stroke-width=\"1\"");
        svg += text_at(x, lanes_bottom + 18.0, "font-size=\"11\" text-anchor=\"middle\"",
                       timeline_axis_label(axis, i));
    }
    svg += text_at(panel_x + PANEL_W / 2.0, lanes_bottom + 34.0,
                   "font-size=\"12\" text-anchor=\"middle\"", unit_text);
    return svg;
}

// The page's head: the XML prolog, the title, the summary as the heading and the titles of the
// two phases.
std::string head_svg(const Timeline& timeline, const std::vector<std::string>& heading,
                     double page_h, double titles_y) {
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                      num(PAGE_W) + "\" height=\"" + num(page_h) + "\" viewBox=\"0 0 " +
                      num(PAGE_W) + " " + num(page_h) +
                      "\" font-family=\"DejaVu Sans, Verdana, Arial, sans-serif\">\n";
    std::string title;
    for (const std::string& l : heading) {
        title += (title.empty() ? "" : " ") + l;
    }
    svg += "<title>" + escaped(title) + "</title>\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n";
    for (size_t i = 0; i < heading.size(); ++i) {
        svg += text_at(LEFT, 30.0 + 20.0 * static_cast<double>(i),
                       "font-size=\"15\" font-weight=\"bold\"", heading[i]);
    }
    svg += text_at(ON_X, titles_y, "font-size=\"13\" font-weight=\"bold\"", "Switching on");
    svg +=
        text_at(OFF_X, titles_y, "font-size=\"13\" font-weight=\"bold\"",
                "Switching off, after the " + num(timeline.off_timer_ms / 1000.0) + " s off timer");
    svg += text_at(LEFT - 10.0, titles_y, "font-size=\"12\" text-anchor=\"end\"", "ch");
    return svg;
}

// The lanes of the channels that give light, top step on top: their frames and numbers, the two
// axes drawn over the frames, then the waves over the axes' grid.
std::string lanes_svg(const Timeline& timeline, const TimelineAxis& on, const TimelineAxis& off,
                      double lanes_top, double lanes_bottom) {
    std::string svg;
    double top = lanes_top;
    for (int n = CHANNEL_COUNT; n >= 1; --n) {
        if (timeline.channels[n - 1].dark) {
            continue;
        }
        for (double x : {ON_X, OFF_X}) {
            svg += "<rect x=\"" + num(x) + "\" y=\"" + num(top) + "\" width=\"" + num(PANEL_W) +
                   "\" height=\"" + num(LANE_H) +
                   "\" fill=\"#fff\" stroke=\"#777\" stroke-width=\"0.6\"/>\n";
        }
        svg +=
            text_at(LEFT - 10.0, top + LANE_H / 2.0 + 5.0,
                    "font-size=\"14\" font-weight=\"bold\" text-anchor=\"end\"", std::to_string(n));
        top += LANE_H + LANE_GAP;
    }
    svg += axis_svg(on, ON_X, lanes_top, lanes_bottom - LANE_GAP,
                    std::string(timeline_axis_unit(on)) + " after the detection");
    svg += axis_svg(off, OFF_X, lanes_top, lanes_bottom - LANE_GAP,
                    std::string(timeline_axis_unit(off)) + " after the off timer");
    top = lanes_top;
    for (int n = CHANNEL_COUNT; n >= 1; --n) {
        const TimelineChannel& c = timeline.channels[n - 1];
        if (c.dark) {
            continue;
        }
        svg += lane_wave(c, on, ON_X, top, true);
        svg += lane_wave(c, off, OFF_X, top, false);
        top += LANE_H + LANE_GAP;
    }
    return svg;
}

// Whether a channel that gives light is late in a phase (settings/timeline.h).
bool any_late(const Timeline& timeline) {
    for (const TimelineChannel& c : timeline.channels) {
        if (!c.dark && (c.on_late || c.off_late)) {
            return true;
        }
    }
    return false;
}

// Under the lanes from `y`: the dark channels, how to read a lane, the mark of a late phase, and
// the note.
std::string legend_svg(const Timeline& timeline, double y) {
    std::string svg;
    bool dark[CHANNEL_COUNT] = {};
    int dark_count = 0;
    for (const TimelineChannel& c : timeline.channels) {
        dark[c.channel - 1] = c.dark;
        dark_count += c.dark;
    }
    if (dark_count > 0) {
        char list[TIMELINE_LIST_BYTES];
        timeline_channel_list(dark, list, sizeof list);
        svg += text_at(LEFT, y, "font-size=\"12\"",
                       std::string("Channels ") + list + ": dark, never give light.");
        y += 18.0;
    }
    svg += text_at(LEFT, y, "font-size=\"12\"",
                   "Each lane: one step's brightness, 0 to 100 % of the lane; a thin strip is a "
                   "dim glow such as standby.");
    y += 18.0;
    svg += text_at(LEFT, y, "font-size=\"12\"",
                   "Numbers in the lanes, in ms: when the step starts to light (from the "
                   "detection) and when it is dark (from the off timer).");
    if (any_late(timeline)) {
        y += 18.0;
        svg += text_at(LEFT, y, "font-size=\"12\"",
                       "»: the step's switching on or off goes on past the axis, later than an "
                       "hour into the phase.");
    }
    svg += text_at(LEFT, y + 18.0, "font-size=\"12\" font-style=\"italic\"", TIMELINE_NOTE);
    return svg;
}

} // namespace

std::string timeline_svg(const Timeline& timeline) {
    TimelinePhases phases;
    timeline_phases(&timeline, &phases);
    TimelineAxis on;
    TimelineAxis off;
    timeline_axes(phases, PANEL_W / LABEL_CHAR_PX, &on, &off);

    const std::vector<std::string> heading = summary_lines(timeline);
    int lanes = 0;
    for (const TimelineChannel& c : timeline.channels) {
        lanes += !c.dark;
    }
    const double titles_y = 34.0 + 20.0 * static_cast<double>(heading.size()) + 12.0;
    const double lanes_top = titles_y + 14.0;
    const double lanes_bottom = lanes_top + lanes * (LANE_H + LANE_GAP);
    const double page_h = lanes_bottom + 140.0 + (any_late(timeline) ? 18.0 : 0.0);
    return head_svg(timeline, heading, page_h, titles_y) +
           lanes_svg(timeline, on, off, lanes_top, lanes_bottom) +
           legend_svg(timeline, lanes_bottom + 52.0) + "</svg>\n";
}
