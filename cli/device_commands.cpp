// `read` and `write`: the controller's settings into a file, and a file or the factory defaults
// into the controller.
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/device_write.h"
#include "cli/output.h"
#include "cli/sources.h"
#include "cli/save.h"

int cli_read(const CliRequest& request) {
    // A Ctrl+C from here on is remembered: the read goes on to its end and nothing is saved; one
    // that comes while the file is written leaves no new or temporary file (save_file).
    console_catch_interrupt();
    SettingsValues values{};
    std::string port;
    const int code = load_device(request, &values, &port);
    if (console_interrupted()) {
        err_line("Interrupted; nothing was saved.");
        return EXIT_INTERRUPTED;
    }
    if (code != EXIT_DONE) {
        return code;
    }
    const int saved = save_file(request.output, format_of_name(request.output), values, "device");
    if (saved != EXIT_DONE) {
        return saved;
    }
    note_line("Saved the settings of the controller on " + port + " to " + request.output + ".");
    return EXIT_DONE;
}

int cli_write(const CliRequest& request) {
    if (request.file == "device") {
        err_line("lumivo24-cli: write takes settings to write: a settings file or 'defaults'.");
        return EXIT_USAGE;
    }
    SettingsValues given{};
    const int code = load_source(request, request.file, &given);
    if (code != EXIT_DONE) {
        return code; // before any port is opened
    }
    return device_write(request, {&given, request.file, request.file, request.file});
}
