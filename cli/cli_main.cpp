// Parsing the command line and running the command it names. CLI11 reports a wrong command line
// by throwing; that, and anything the JSON output throws, is caught here and goes no further.
#include "cli/cli_main.h"

#include <CLI/CLI.hpp>

#include <exception>
#include <sstream>

#include "cli/commands.h"
#include "cli/output.h"
#include "cli/platform.h"

#ifndef LUMIVO_VERSION
#define LUMIVO_VERSION "unknown"
#endif

namespace {

constexpr int EXIT_INTERNAL = 70; // a fault of the tool itself; no command ends this way

constexpr char SYNOPSIS[] = "The settings and sensors of a LUMIVO24 stair-lighting controller.\n\n"
                            "  lumivo24-cli ports  [--port P]... [--json]\n"
                            "  lumivo24-cli status [--port P] [--watch] [--json]\n"
                            "  lumivo24-cli read   [--port P] --output FILE.lv24\n"
                            "  lumivo24-cli write  [--port P] FILE.lv24 [--dry-run] [--force]\n"
                            "  lumivo24-cli show   SOURCE [--port P] [--json]\n"
                            "  lumivo24-cli diff   SOURCE SOURCE [--port P] [--json]\n";

constexpr char SOURCE_NOTE[] =
    "SOURCE is a settings file (.lv24), 'device' (the controller) or 'defaults'.";

constexpr char FOOTER[] =
    "SOURCE is a settings file (.lv24), 'device' (the controller) or 'defaults'.\n"
    "Without --port the controller is looked for on every serial port.\n"
    "'lumivo24-cli COMMAND --help' tells more of a command.\n"
    "Exit codes: 0 done, 1 differences found, 2 wrong command line, 3 no controller or\n"
    "no valid answer, 4 file unreadable, invalid or unwritable, 5 write not verified,\n"
    "6 write refused for the board revision.";

void flush_stream(PlatformStream stream, const std::ostringstream& text) {
    const std::string s = text.str();
    platform_write(stream, s.data(), s.size());
}

// The verdict on standard output once the command is done: output that could not be written is
// a failure even where the command itself succeeded, except that a watch whose reader went away
// (a closed pipe, as `| head` leaves it) has simply ended.
int output_verdict(int code, bool watching) {
    char why[PLATFORM_WHY_BYTES];
    const PlatformOutput state = platform_output_state(why);
    if (state == PLATFORM_OUTPUT_OK || (state == PLATFORM_OUTPUT_CLOSED && watching)) {
        return code;
    }
    err_line(std::string("Cannot write the results to standard output: ") + why + ".");
    return code == EXIT_DONE || code == EXIT_DIFFERENT ? EXIT_FILE : code;
}

int run(int argc, char** argv) {
    CliRequest request;
    std::string port;
    CLI::App app{SYNOPSIS, "lumivo24-cli"};
    app.set_version_flag("--version", LUMIVO_VERSION, "Print the version and exit");
    app.set_help_flag("-h,--help", "Print this help and exit");
    app.require_subcommand(1);
    // Options begin with '-' everywhere; a file name such as /backups/stairs.lv24 is no option.
    app.allow_windows_style_options(false);
    app.get_formatter()->column_width(24);

    CLI::App* ports = app.add_subcommand("ports", "List serial ports and the controllers on them");
    ports->add_option("--port", request.ports, "Also probe port P (repeatable)")->type_name("P");
    ports->add_flag("--json", request.json, "Print JSON");

    CLI::App* status = app.add_subcommand("status", "Show the distances and the illuminance");
    status->add_option("--port", port, "The controller's port")->type_name("P");
    status->add_flag("--watch", request.watch, "Repeat five times a second until Ctrl+C");
    status->add_flag("--json", request.json, "Print JSON");

    CLI::App* read = app.add_subcommand("read", "Save the controller's settings to a file");
    read->add_option("--port", port, "The controller's port")->type_name("P");
    read->add_option("-o,--output", request.output, "The settings file to write")
        ->type_name("FILE.lv24")
        ->required();

    CLI::App* write = app.add_subcommand("write", "Write a settings file to the controller");
    write->add_option("FILE", request.file, "The settings file (.lv24)")->required();
    write->add_option("--port", port, "The controller's port")->type_name("P");
    write->add_flag("--dry-run", request.dry_run, "Show what would change, write nothing");
    write->add_flag("--force", request.force, "Write to a board revision other than 5000");

    CLI::App* show = app.add_subcommand("show", "Show settings from a file, device or defaults");
    show->add_option("SOURCE", request.sources, "What to show")->required()->expected(1);
    show->add_option("--port", port, "The controller's port")->type_name("P");
    show->add_flag("--json", request.json, "Print JSON");

    CLI::App* diff = app.add_subcommand("diff", "Compare two sources; exit 1 when they differ");
    diff->add_option("SOURCE", request.sources, "The two sources")->required()->expected(2);
    diff->add_option("--port", port, "The controller's port")->type_name("P");
    diff->add_flag("--json", request.json, "Print JSON");

    // The synopsis above lists the commands; the footer is the main help's only.
    for (CLI::App* command : {ports, status, read, write, show, diff}) {
        command->group("");
    }
    show->footer(SOURCE_NOTE);
    diff->footer(SOURCE_NOTE);
    app.footer(FOOTER);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        std::ostringstream out;
        std::ostringstream err;
        const int code = app.exit(e, out, err);
        flush_stream(PLATFORM_OUT, out);
        flush_stream(PLATFORM_ERR, err);
        return output_verdict(code == 0 ? EXIT_DONE : EXIT_USAGE, false);
    }
    if (!port.empty()) {
        request.ports.push_back(port);
    }
    int code = EXIT_DONE;
    if (*ports) {
        code = cli_ports(request);
    } else if (*status) {
        code = cli_status(request);
    } else if (*read) {
        code = cli_read(request);
    } else if (*write) {
        code = cli_write(request);
    } else if (*show) {
        code = cli_show(request);
    } else {
        code = cli_diff(request);
    }
    return output_verdict(code, *status && request.watch);
}

} // namespace

int cli_main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        err_line(std::string("lumivo24-cli failed: ") + e.what());
    } catch (...) {
        err_line("lumivo24-cli failed.");
    }
    return EXIT_INTERNAL;
}
