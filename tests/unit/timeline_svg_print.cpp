// Prints the SVG picture of one of the timeline tests' tables (staircase, defaults or overlap),
// for the check that parses and renders it.
#include <cstdio>
#include <cstring>

#include "cli/timeline_svg.h"
#include "timeline_tables.h"

int main(int argc, char** argv) {
    float table[SETTINGS_COUNT];
    if (argc == 2 && strcmp(argv[1], "staircase") == 0) {
        timeline_staircase_table(table);
    } else if (argc == 2 && strcmp(argv[1], "defaults") == 0) {
        timeline_defaults_table(table);
    } else if (argc == 2 && strcmp(argv[1], "overlap") == 0) {
        timeline_overlap_table(table);
    } else {
        fputs("usage: timeline_svg_print staircase|defaults|overlap\n", stderr);
        return 2;
    }
    Timeline timeline;
    timeline_from_table(table, &timeline);
    const std::string svg = timeline_svg(timeline);
    return fwrite(svg.data(), 1, svg.size(), stdout) == svg.size() && fflush(stdout) == 0 ? 0 : 1;
}
