// The command line of lumivo24-cli, parsed with CLI11 into a request. CLI11 reports a wrong
// command line by throwing; that is caught here.
//
// The command is looked for before CLI11 sees the line, so that a word that names no command is
// called what it is, and `help [COMMAND]` works as it does in other tools. The options every
// command shares (--port, -v, -q) are taken before the command as well as after it.
#include "cli/command_line.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "cli/console.h"
#include "cli/output.h"
#include "cli/shell_quote.h"
#include "link/ident_answer.h"

#ifndef LUMIVO_VERSION
#define LUMIVO_VERSION "unknown"
#endif

namespace {

constexpr char PORT_VARIABLE[] = "LUMIVO24_PORT"; // names the port when no --port is given

// The help of --force, which names the one board revision written to without it.
std::string force_help() {
    return "Write to a board revision other than " + std::to_string(IDENT_SUPPORTED_REVISION);
}

// The staircase example, as the manual page prints it: the README's, with its last list of names
// split in two so that every line fits 80 columns. The Windows program shows it as cmd takes it
// when pasted: '^' continues a line there, and a comment is a rem command.
#ifdef _WIN32
#define EXAMPLE_COMMENT "  rem "
#define EXAMPLE_CONTINUED " ^\n"
#else
#define EXAMPLE_COMMENT "  # "
#define EXAMPLE_CONTINUED " \\\n"
#endif
// clang-format off
#define STAIRCASE_EXAMPLE                                                                          \
    EXAMPLE_COMMENT "Steps 1-15 light up from the bottom and go dark from the top, 150 ms\n"       \
    EXAMPLE_COMMENT "apart, each dark before the one below it; 16-24 stay dark:\n"                 \
    "  lumivo24-cli set device ch1-15.on_delay_ms=0+150 ch15-1.off_delay_ms=0+150"                 \
        EXAMPLE_CONTINUED                                                                          \
    "  ch1-15.rise_time_ms,fall_time_ms=500" EXAMPLE_CONTINUED                                     \
    "  ch16-24.on_start_level_percent,on_end_level_percent=0" EXAMPLE_CONTINUED                    \
    "  ch16-24.off_start_level_percent,off_end_level_percent,standby_level_percent=0\n"
// clang-format on

// The main help's last example, with its comment as the shell takes it, and the exit statuses of
// a stop: signals on Linux; on Windows Ctrl+C, Ctrl+Break and a closed console, told apart by
// the same numbers.
#ifdef _WIN32
#define TIMELINE_EXAMPLE                                                                           \
    "  lumivo24-cli timeline device & rem their wave, before walking the stairs\n"
#define STOPPED_STATUSES                                                                           \
    "controller, 4 file, 5 not verified, 6 board revision refused, 130 Ctrl+C,\n"                  \
    "131 Ctrl+Break, 129 console closed. More: lumivo24-cli help COMMAND."
#else
#define TIMELINE_EXAMPLE                                                                           \
    "  lumivo24-cli timeline device   # the wave they give, before walking the stairs\n"
#define STOPPED_STATUSES                                                                           \
    "controller, 4 file, 5 not verified, 6 board revision refused, 128+N stopped by\n"             \
    "signal N (130: Ctrl+C). More: lumivo24-cli help COMMAND."
#endif

// The main help: the commands with their own options, after the options every command takes.
// It is the whole main help (help_text leaves out CLI11's usage line and option list, which the
// first line and the footer say in fewer lines), and fits a screen of 80 by 30.
constexpr char SYNOPSIS[] =
    "The settings and sensors of a LUMIVO24 stair-lighting controller.\n\n"
    "Usage: lumivo24-cli [-p P] [-v | -q] COMMAND ...\n"
    "  ports    [-p P]... [--json]\n"
    "  status   [--watch | --count N] [--json]\n"
    "  read     -o FILE.lv24|FILE.json\n"
    "  write    SOURCE [--dry-run] [--force] [--backup FILE | --no-backup]\n"
    "  set      TARGET ASSIGNMENT... [-o FILE] [--dry-run]\n"
    "           [--force] [--backup FILE | --no-backup]          (TARGET device only)\n"
    "  convert  SOURCE -o FILE.lv24|FILE.json\n"
    "  show     SOURCE [--json]\n"
    "  diff     SOURCE SOURCE [--json]\n"
    "  timeline SOURCE [-o FILE.svg] [--json | --chart]\n\n" STAIRCASE_EXAMPLE TIMELINE_EXAMPLE;

constexpr char SOURCE_NOTE[] =
    "SOURCE is a settings file (.lv24 or .json), 'device' (the controller) or 'defaults'.";

constexpr char SET_NOTE[] =
    "NAME is a name of show --json: sensor1_max_cm, off_timer_s, on_delay_ms, ...;\n"
    "several names, as in ch1-15.rise_time_ms,fall_time_ms=500, get the same value.\n"
    "SEL is a channel (7), a range (1-15, or 15-1 counted down), a list (1,3,5) or *.\n"
    "VALUE is a number (12.5 or 12,5), true or false for the two flags, or\n"
    "START+STEP: the k-th channel of the selection, counted from 0, gets\n"
    "START + k*STEP. Example:\n" STAIRCASE_EXAMPLE
    "A TARGET file is changed in place, or saved to --output (its extension chooses\n"
    "the format); 'defaults' needs --output. 'device' is read, changed, backed up,\n"
    "written and read back, as write does; nothing is written when it already holds\n"
    "the values. --force, --backup and --no-backup are for 'device' only.";

constexpr char TIMELINE_HELP[] =
    "Draws the light wave the settings describe; nothing is measured. One person is\n"
    "detected at 0 ms and nobody after; night is assumed (the light sensor is left\n"
    "out). A step rests at its standby level (standby on) or dark; at its on-delay\n"
    "it goes to its on-start level and rises to its on-end level over its rise\n"
    "time; at the off timer plus its off-delay it goes to its off-start level and\n"
    "falls to its off-end level over its fall time, then rests again.\n"
    "Prints a summary, a table and, on a terminal or with --chart, a chart; --json\n"
    "prints JSON. --output saves the SVG picture (any browser opens it) and then\n"
    "prints only what --json or --chart asks for.\n"
    "SOURCE is a settings file (.lv24 or .json), 'device' or 'defaults'.";

constexpr char FOOTER[] =
    "-p P: the controller's port (or LUMIVO24_PORT; without one every serial port is\n"
    "searched); -v: every frame on the line; -q: errors only; -V: the version.\n"
    "SOURCE: a settings file (.lv24, .json), 'device' or 'defaults'; TARGET: a file,\n"
    "'device' or 'defaults' (with -o). Exit: 0 done, 1 differences, 2 usage, 3 "
    "no\n" STOPPED_STATUSES;

void flush_stream(ConsoleStream stream, const std::ostringstream& text) {
    const std::string s = text.str();
    console_write(stream, s.data(), s.size());
}

bool is_command(const std::string& word) {
    for (const CliCommand& command : CliCommands) {
        if (word == command.name) {
            return true;
        }
    }
    return false;
}

std::string command_list() {
    std::string out;
    for (const CliCommand& command : CliCommands) {
        out += (out.empty() ? "" : ", ") + std::string(command.name);
    }
    return out;
}

// The first word that is no option and no option's value: the command, if the line is right.
// Only --port takes a value before the command. Returns argc when there is none.
int command_index(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "-p" || word == "--port") {
            ++i;
        } else if (word.empty() || word[0] != '-') {
            return i;
        }
    }
    return argc;
}

// Options that every command takes, before or after its name.
struct SharedOptions {
    std::vector<std::string> ports;
    bool verbose = false;
    bool quiet = false;
};

// `repeatable`: the help shows --port as an option given more than once (only `ports` takes
// several; the others say so when given two, in take_shared).
void add_shared(CLI::App* app, SharedOptions* options, const char* port_help,
                bool repeatable = false) {
    // One value each time it is given: a vector option would take every word after it.
    CLI::Option* port = app->add_option("-p,--port", options->ports, port_help)
                            ->type_name("P")
                            ->allow_extra_args(false);
    if (!repeatable) {
        port->expected(1)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    }
    app->add_flag("-v,--verbose", options->verbose, "Print every frame sent and received");
    app->add_flag("-q,--quiet", options->quiet, "Print nothing but errors");
}

// The check of status --count: a whole number of readings, 1 or more, said in a sentence of its
// own rather than as CLI11's range of a double. Returns "" when the text is one.
std::string reading_count_refusal(std::string& text) {
    long long n = 0;
    const char* end = text.data() + text.size();
    const std::from_chars_result r = std::from_chars(text.data(), end, n);
    if (r.ec == std::errc() && r.ptr == end && n >= 1) {
        return "";
    }
    if (r.ec == std::errc::result_out_of_range && r.ptr == end) {
        return "at most " + std::to_string(LLONG_MAX) + " readings, not " + text;
    }
    return "the number of readings, a whole number of 1 or more, not '" + text + "'";
}

// Where the controller's settings go before they are changed.
void add_backup(CLI::App* command, CliRequest* request) {
    CLI::Option* backup =
        command->add_option("--backup", request->backup, "Save the present settings to FILE")
            ->type_name("FILE")
            ->each([request](const std::string&) { request->backup_named = true; });
    command->add_flag("--no-backup", request->no_backup, "Save no backup first")->excludes(backup);
}

// The subcommands, each with its own options; `after` takes the shared options given after the
// command's name.
void add_device_commands(CLI::App* app, CliRequest* request, SharedOptions* after) {
    CLI::App* ports = app->add_subcommand("ports", "List serial ports and the controllers on them");
    add_shared(ports, after, "Also probe port P (repeatable)", true);
    ports->add_flag("--json", request->json, "Print JSON");

    CLI::App* status = app->add_subcommand("status", "Show the distances and the illuminance");
    add_shared(status, after, "The controller's port");
    CLI::Option* watch =
        status->add_flag("--watch", request->watch, "Repeat five times a second until Ctrl+C");
    status->add_option("--count", request->count, "Watch for N readings, then stop")
        ->type_name("N")
        ->check(CLI::Validator(reading_count_refusal, "", "count"))
        ->excludes(watch);
    status->add_flag("--json", request->json, "Print JSON");

    CLI::App* read = app->add_subcommand("read", "Save the controller's settings to a file");
    add_shared(read, after, "The controller's port");
    read->add_option("-o,--output", request->output, "The settings file to write")
        ->type_name("FILE.lv24|FILE.json")
        ->each([request](const std::string&) { request->output_named = true; });
    // A file named without -o is taken here only to be pointed to -o (check_read).
    read->add_option("FILE", request->sources)->group("");

    CLI::App* write = app->add_subcommand("write", "Write settings to the controller, verified");
    write->add_option("SOURCE", request->file, "A settings file (.lv24, .json) or 'defaults'")
        ->required();
    add_shared(write, after, "The controller's port");
    write->add_flag("--dry-run", request->dry_run, "Show what would change, write nothing");
    write->add_flag("--force", request->force, force_help());
    add_backup(write, request);

    CLI::App* set = app->add_subcommand("set", "Change values of a file or of the controller");
    set->add_option("TARGET", request->target, "A settings file, 'device' or 'defaults'")
        ->required();
    set->add_option("ASSIGNMENT", request->assignments, "NAME=VALUE or chSEL.NAME=VALUE")
        ->required();
    add_shared(set, after, "The controller's port");
    set->add_option("-o,--output", request->output, "Save to FILE instead of in place")
        ->type_name("FILE")
        ->each([request](const std::string&) { request->output_named = true; });
    set->add_flag("--dry-run", request->dry_run, "Show what would change, change nothing");
    set->add_flag("--force", request->force, force_help());
    add_backup(set, request);
    set->footer(SET_NOTE);
}

void add_file_commands(CLI::App* app, CliRequest* request, SharedOptions* after) {
    CLI::App* convert = app->add_subcommand("convert", "Turn settings into a .lv24 or .json file");
    convert->add_option("SOURCE", request->sources, "What to convert")->required()->expected(1);
    add_shared(convert, after, "The controller's port");
    convert->add_option("-o,--output", request->output, "The file to write")
        ->type_name("FILE.lv24|FILE.json")
        ->required();
    convert->footer(SOURCE_NOTE);

    CLI::App* show = app->add_subcommand("show", "Show settings from a file, device or defaults");
    show->add_option("SOURCE", request->sources, "What to show")->required()->expected(1);
    add_shared(show, after, "The controller's port");
    show->add_flag("--json", request->json, "Print JSON");
    show->footer(SOURCE_NOTE);

    CLI::App* diff = app->add_subcommand("diff", "Compare two sources; exit 1 when they differ");
    diff->add_option("SOURCE", request->sources, "The two sources")->required()->expected(2);
    add_shared(diff, after, "The controller's port");
    diff->add_flag("--json", request->json, "Print JSON");
    diff->footer(SOURCE_NOTE);
}

void add_timeline_command(CLI::App* app, CliRequest* request, SharedOptions* after) {
    CLI::App* timeline =
        app->add_subcommand("timeline", "Draw when each step lights up and goes dark");
    timeline->add_option("SOURCE", request->sources, "What to draw")->required()->expected(1);
    add_shared(timeline, after, "The controller's port");
    // An empty name would read as no --output at all; the extension is checked by the command.
    const CLI::Validator named(
        [](std::string& name) {
            return name.empty() ? std::string("the picture needs a file name ending in .svg") : "";
        },
        "");
    timeline->add_option("-o,--output", request->output, "Save the picture to FILE.svg")
        ->type_name("FILE.svg")
        ->check(named);
    CLI::Option* json = timeline->add_flag("--json", request->json, "Print JSON");
    timeline->add_flag("--chart", request->chart, "Print the chart also on a pipe")->excludes(json);
    timeline->footer(TIMELINE_HELP);
}

// An option that takes a value, and the sentence that says what it needs when none follows it.
struct ValueOption {
    const char* command; // the command it is for; "" for any
    const char* names[2];
    const char* needs; // after "lumivo24-cli: ", with the option as it was written
};
constexpr ValueOption VALUE_OPTIONS[] = {
    {"timeline",
     {"-o", "--output"},
     "%s needs the name of the picture to save after it, such as "
     "wave.svg."},
    {"",
     {"-o", "--output"},
     "%s needs the name of the file to save to after it, such as "
     "stairs.lv24 or stairs.json."},
    {"",
     {"--backup", ""},
     "%s needs the name of a new file for the controller's present "
     "settings after it, such as before.lv24."},
    {"",
     {"-p", "--port"},
     "%s needs the name of the controller's port after it (lumivo24-cli "
     "ports lists them)."},
    {"", {"--count", ""}, "%s needs the number of readings after it, such as 10."},
};

// An option of `command` given without its value: last on the line, or followed by another
// option. Said in the tool's own sentence; EXIT_DONE when every such option has its value.
int check_values_given(const std::vector<std::string>& words, const std::string& command) {
    for (size_t i = 0; i < words.size(); ++i) {
        const bool missing =
            i + 1 == words.size() || (words[i + 1].size() > 1 && words[i + 1][0] == '-');
        for (const ValueOption& option : VALUE_OPTIONS) {
            const bool named =
                !words[i].empty() && (words[i] == option.names[0] || words[i] == option.names[1]);
            if (missing && named && (option.command[0] == 0 || command == option.command)) {
                char sentence[256];
                snprintf(sentence, sizeof sentence, option.needs, words[i].c_str());
                err_line(std::string("lumivo24-cli: ") + sentence);
                return EXIT_USAGE;
            }
        }
    }
    return EXIT_DONE;
}

// "help" and "help COMMAND" become --help. Returns the index in `words` of the command's name
// (words.size() when there is none).
size_t take_help_word(int argc, char** argv, std::vector<std::string>* words) {
    size_t command = static_cast<size_t>(command_index(argc, argv) - 1);
    if (command < words->size() && (*words)[command] == "help") {
        words->erase(words->begin() + static_cast<std::ptrdiff_t>(command));
        words->push_back("--help");
        while (command < words->size() && !(*words)[command].empty() &&
               (*words)[command][0] == '-') {
            ++command; // "help" may be followed by options before the command's name
        }
    }
    return command;
}

// The command's name is there and names a command, and every option that takes a value has
// one, unless the line asks only for the help or the version. EXIT_DONE, or EXIT_USAGE after
// saying what is wrong.
int check_command_word(const std::vector<std::string>& words, size_t command) {
    const bool asks = std::find_if(words.begin(), words.end(), [](const std::string& w) {
                          return w == "-h" || w == "--help" || w == "-V" || w == "--version";
                      }) != words.end();
    if (command >= words.size() && !asks) {
        err_line("lumivo24-cli: a command is required: " + command_list() +
                 ". 'lumivo24-cli --help' tells more.");
        return EXIT_USAGE;
    }
    if (command < words.size() && !is_command(words[command])) {
        err_line("lumivo24-cli: '" + words[command] + "' is not a command; the commands are " +
                 command_list() + ". 'lumivo24-cli --help' tells more.");
        return EXIT_USAGE;
    }
    return asks ? EXIT_DONE : check_values_given(words, words[command]);
}

// The shared options, from before and after the command's name, and the port named by the
// environment. EXIT_DONE, or EXIT_USAGE after saying what is wrong.
int take_shared(const SharedOptions& before, const SharedOptions& after, CliRequest* request) {
    request->ports = before.ports;
    request->ports.insert(request->ports.end(), after.ports.begin(), after.ports.end());
    request->verbose = before.verbose || after.verbose;
    request->quiet = before.quiet || after.quiet;
    for (const std::string& port : request->ports) {
        if (port.empty()) {
            err_line("lumivo24-cli: --port needs the name of a port; an empty name is none.");
            return EXIT_USAGE;
        }
    }
    if (request->command != "ports" && request->ports.size() > 1) {
        err_line("lumivo24-cli: only 'ports' takes --port more than once.");
        return EXIT_USAGE;
    }
    const char* named = getenv(PORT_VARIABLE);
    if (request->ports.empty() && named != nullptr && named[0] != 0) {
        request->ports.push_back(named);
    }
    return EXIT_DONE;
}

// read saves to the file named with --output; a file named without it is pointed there.
// EXIT_DONE, or EXIT_USAGE after saying what is wrong.
int check_read(const CliRequest& request) {
    if (request.command != "read") {
        return EXIT_DONE;
    }
    if (!request.sources.empty() && !request.output_named) {
        err_line("lumivo24-cli: read saves to the file named with --output: " +
                 shell_command_line({"read", "-o", request.sources.front()}));
        return EXIT_USAGE;
    }
    if (!request.sources.empty()) {
        err_line("lumivo24-cli: read saves to one file, the one after --output; '" +
                 request.sources.front() + "' is one too many.");
        return EXIT_USAGE;
    }
    if (!request.output_named) {
        err_line("lumivo24-cli: read needs --output FILE, the file to save the controller's "
                 "settings to (.lv24, or .json for JSON).");
        return EXIT_USAGE;
    }
    return EXIT_DONE;
}

} // namespace

int command_line_parse(int argc, char** argv, CliRequest* request) {
    CLI::App app{SYNOPSIS, "lumivo24-cli"};
    app.set_version_flag("-V,--version", std::string("lumivo24-cli ") + LUMIVO_VERSION,
                         "Print the version and exit");
    app.set_help_flag("-h,--help", "Print this help and exit");
    app.require_subcommand(1);
    // Options begin with '-' everywhere; a file name such as /backups/stairs.lv24 is no option.
    app.allow_windows_style_options(false);
    app.get_formatter()->column_width(24);
    SharedOptions before;
    SharedOptions after;
    add_shared(&app, &before, "The controller's port");
    add_device_commands(&app, request, &after);
    add_file_commands(&app, request, &after);
    add_timeline_command(&app, request, &after);
    // The synopsis lists the commands; the footer is the main help's only.
    for (CLI::App* command : app.get_subcommands([](CLI::App*) { return true; })) {
        command->group("");
    }
    app.footer(FOOTER);
    // The main help is the synopsis and the footer; each command's help is CLI11's own.
    const std::shared_ptr<CLI::FormatterBase> standard = app.get_formatter();
    app.formatter_fn([standard](const CLI::App* of, std::string name, CLI::AppFormatMode mode) {
        if (of->get_parent() == nullptr && mode == CLI::AppFormatMode::Normal) {
            return std::string(SYNOPSIS) + "\n" + FOOTER + "\n";
        }
        // CLI11 shows a positional hidden from the help (read's FILE) in the usage line as
        // "[...]": it is left out there too.
        std::string help = standard->make_help(of, std::move(name), mode);
        const size_t hidden = help.find(" [...]");
        if (hidden != std::string::npos && hidden < help.find('\n', help.find("Usage:"))) {
            help.erase(hidden, 6);
        }
        return help;
    });
    // Each command took its formatter when it was added: it gets this one too.
    for (CLI::App* command : app.get_subcommands([](CLI::App*) { return true; })) {
        command->formatter(app.get_formatter());
    }

    std::vector<std::string> words(argv + 1, argv + argc);
    const size_t command = take_help_word(argc, argv, &words);
    const int checked = check_command_word(words, command);
    if (checked != EXIT_DONE) {
        return checked;
    }
    try {
        std::vector<std::string> reversed(words.rbegin(), words.rend());
        app.parse(reversed); // CLI11 takes a vector of arguments last first
    } catch (const CLI::ParseError& e) {
        std::ostringstream out;
        std::ostringstream err;
        const int code = app.exit(e, out, err);
        flush_stream(CONSOLE_OUT, out);
        flush_stream(CONSOLE_ERR, err);
        return code == 0 ? EXIT_DONE : EXIT_USAGE;
    }
    request->command = app.get_subcommands().front()->get_name();
    const int read_checked = check_read(*request);
    if (read_checked != EXIT_DONE) {
        request->command.clear();
        return read_checked;
    }
    return take_shared(before, after, request);
}
