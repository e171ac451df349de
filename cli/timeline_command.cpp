// `timeline SOURCE`: the light wave that a source's settings describe (settings/timeline.h says
// how they are read), as text for a person, as JSON, or as an SVG picture saved to a file.
//
// The text is the summary, the table and, where standard output is a terminal or --chart asks
// for it, the chart: a chart is for eyes, and a script reading a pipe is better served by the
// table or the JSON. A wrong --output name is refused before the source is read, so that a typing
// mistake never costs a trip to the controller; the picture is saved whole or not at all.
#include "cli/commands.h"

#include "cli/console.h"
#include "cli/output.h"
#include "cli/save.h"
#include "cli/sources.h"
#include "cli/timeline_chart.h"
#include "cli/timeline_json.h"
#include "cli/timeline_svg.h"
#include "settings/timeline.h"

namespace {

// A .lv24 file has no place for channel 24's standby flag: the wave takes it as off, while a
// controller that is written from the file keeps its own. Said where it could make a difference.
void note_last_standby_flag(const SettingsValues& values) {
    const int flag = SETTINGS_FILE_UNSTORED;
    const int level = channel_position(COL_STANDBY_LEVEL, CHANNEL_COUNT);
    if (!values.held[flag] && values.table[level] > 0.0f) {
        note_line("Channel 24's standby flag is not in the file: it is drawn off (a controller "
                  "written from this file keeps its own).");
    }
}

int save_picture(const std::string& path, const std::string& source, const Timeline& timeline) {
    const std::string svg = timeline_svg(timeline);
    const int code = save_bytes(path, reinterpret_cast<const uint8_t*>(svg.data()), svg.size());
    if (code == EXIT_DONE) {
        note_line("Saved the picture of the wave of " + source + " to " + path + ".");
    }
    return code;
}

} // namespace

int cli_timeline(const CliRequest& request) {
    const std::string& source = request.sources.front();
    const bool picture = !request.output.empty();
    if (picture && !name_ends_with(request.output, ".svg")) {
        err_line("lumivo24-cli: timeline --output saves an SVG picture; give a file name ending in "
                 ".svg, not '" +
                 request.output + "'.");
        return EXIT_USAGE;
    }
    if (picture) {
        console_catch_interrupt(); // remembered: the picture is then not saved (save_bytes)
    }
    SettingsValues values{};
    int code = load_source(request, source, &values);
    if (code != EXIT_DONE) {
        return code;
    }
    Timeline timeline;
    timeline_from_table(values.table, &timeline);
    note_last_standby_flag(values);
    if (picture) {
        code = save_picture(request.output, source, timeline);
        if (code != EXIT_DONE) {
            return code;
        }
    }
    if (request.json) {
        out_json(timeline_json(timeline));
    } else if (!picture || request.chart) {
        const bool chart = request.chart || console_is_terminal(CONSOLE_OUT);
        const TimelineLook look = {console_columns(), console_takes_unicode()};
        out_text(timeline_report_text(timeline, chart, look));
    }
    return EXIT_DONE;
}
