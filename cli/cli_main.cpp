// Running lumivo24-cli: the command line parsed, then the command it names, then the verdict on
// standard output. Anything the JSON output or CLI11 throws is caught here and goes no further.
#include "cli/cli_main.h"

#include <exception>
#include <string>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/output.h"

const CliCommand CliCommands[CLI_COMMAND_COUNT] = {
    {"ports", cli_ports}, {"status", cli_status}, {"read", cli_read},
    {"write", cli_write}, {"set", cli_set},       {"convert", cli_convert},
    {"show", cli_show},   {"diff", cli_diff},     {"timeline", cli_timeline},
};

namespace {

constexpr int EXIT_INTERNAL = 70; // a fault of the tool itself; no command ends this way

// The verdict on standard output once the command is done: output that could not be written is
// a failure even where the command itself succeeded, except that a watch whose reader went away
// (a closed pipe, as `| head` leaves it) has simply ended.
int output_verdict(int code, bool watching) {
    char why[CONSOLE_WHY_BYTES];
    const ConsoleOutput state = console_output_state(why);
    if (state == CONSOLE_OUTPUT_OK || (state == CONSOLE_OUTPUT_CLOSED && watching)) {
        return code;
    }
    err_line(std::string("Cannot write the results to standard output: ") + why + ".");
    return code == EXIT_DONE || code == EXIT_DIFFERENT ? EXIT_FILE : code;
}

int run(int argc, char** argv) {
    console_start();
    CliRequest request;
    const int parsed = command_line_parse(argc, argv, &request);
    if (parsed != EXIT_DONE || request.command.empty()) {
        return output_verdict(parsed, false);
    }
    out_set_quiet(request.quiet);
    for (const CliCommand& command : CliCommands) {
        if (request.command == command.name) {
            const bool watching =
                request.command == "status" && (request.watch || request.count > 0);
            int code = command.run(request);
            if (code == EXIT_INTERRUPTED) {
                code = console_interrupt_exit(); // 128 + the signal, as the shell would count
            }
            return output_verdict(code, watching);
        }
    }
    return EXIT_INTERNAL; // the parser took a command that the table does not have
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
