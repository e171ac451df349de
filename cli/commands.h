// The commands of lumivo24-cli and what the command line gives them. Each command finds what it
// needs (the controller, a file, the defaults), says on standard error what failed in one
// sentence naming the port or file, and returns the process's exit code; one that talks to the
// controller closes the port before it returns.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

enum CliExit : int {
    EXIT_DONE = 0,
    EXIT_DIFFERENT = 1,     // diff: the sources differ
    EXIT_USAGE = 2,         // the command line is wrong
    EXIT_NO_CONTROLLER = 3, // no controller found, or no valid answer from it
    EXIT_FILE = 4,          // a settings file cannot be read, fails its check or cannot be written
    EXIT_VERIFY = 5,        // the settings read back after a write differ from those sent
    EXIT_REVISION = 6,      // write refused: the board revision is not the supported one
    EXIT_INTERRUPTED = 130, // a request to stop: the process exits 128 + its signal's number
                            // (console_interrupt_exit: 130 for Ctrl+C), as shells count
};

// Everything the command line can say; each command uses its own part.
struct CliRequest {
    std::string command;            // the command's name, as CliCommands lists it
    std::vector<std::string> ports; // --port (ports: any number; the others: at most one)
    bool json = false;
    bool chart = false; // timeline --chart: the chart also where standard output is no terminal
    bool watch = false;
    long long count = 0; // status --count: readings before the watch ends (0: no end)
    bool dry_run = false;
    bool force = false;
    bool verbose = false;                 // -v: every frame on standard error
    bool quiet = false;                   // -q: nothing but errors
    std::string output;                   // read, set, convert, timeline: --output
    bool output_named = false;            // read, set: --output was given (possibly empty)
    std::string backup;                   // write, set device: --backup
    bool backup_named = false;            // --backup was given (else: the backup folder)
    bool no_backup = false;               // write, set device: --no-backup
    std::string file;                     // write FILE
    std::vector<std::string> sources;     // show, convert, timeline SOURCE; diff SOURCE SOURCE
    std::string target;                   // set TARGET: a settings file, 'defaults' or 'device'
    std::vector<std::string> assignments; // set: NAME=VALUE, chSEL.NAME=VALUE
};

int cli_ports(const CliRequest& request);
int cli_status(const CliRequest& request);
int cli_read(const CliRequest& request);
int cli_write(const CliRequest& request);
int cli_set(const CliRequest& request);
int cli_convert(const CliRequest& request);
int cli_show(const CliRequest& request);
int cli_diff(const CliRequest& request);
int cli_timeline(const CliRequest& request);

// The commands by name, in the order the help lists them.
struct CliCommand {
    const char* name;
    int (*run)(const CliRequest& request);
};
constexpr size_t CLI_COMMAND_COUNT = 9;
extern const CliCommand CliCommands[CLI_COMMAND_COUNT];
