// `convert`, `show` and `diff`: settings of any source turned into a file, printed, or compared.
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/output.h"
#include "cli/settings_output.h"
#include "cli/sources.h"
#include "cli/save.h"

int cli_convert(const CliRequest& request) {
    SettingsValues values{};
    const std::string& source = request.sources.front();
    console_catch_interrupt();
    int code = load_source(request, source, &values);
    if (code == EXIT_DONE) {
        code = save_file(request.output, format_of_name(request.output), values, source);
    }
    if (code == EXIT_DONE) {
        note_line("Saved the settings of " + source + " to " + request.output + ".");
    }
    return code;
}

int cli_show(const CliRequest& request) {
    SettingsValues values{};
    const std::string& source = request.sources.front();
    const int code = load_source(request, source, &values);
    if (code != EXIT_DONE) {
        return code;
    }
    if (request.json) {
        out_json(settings_json(source, values));
    } else {
        out_text(settings_text(source, values));
    }
    return EXIT_DONE;
}

int cli_diff(const CliRequest& request) {
    SettingsValues a{};
    SettingsValues b{};
    int code = load_source(request, request.sources[0], &a);
    if (code != EXIT_DONE) {
        return code;
    }
    if (request.sources[1] == "device" && request.sources[0] == "device") {
        b = a; // one read of the controller serves both
    } else {
        code = load_source(request, request.sources[1], &b);
        if (code != EXIT_DONE) {
            return code;
        }
    }
    const bool same = values_equal(a, b);
    if (request.json) {
        out_json(differences_json(a, b));
    } else if (same) {
        // Standard output stays empty for a script; a person is told the result all the same.
        note_line(text_of("No differences: %s and %s hold the same settings.",
                          {request.sources[0], request.sources[1]}));
    } else {
        out_text(differences_text(a, b));
    }
    return same ? EXIT_DONE : EXIT_DIFFERENT;
}
