// `set TARGET ASSIGNMENT...`: changes values of a settings file, of the factory defaults (into a
// new file) or of the controller. Every assignment is parsed before anything is read or opened,
// and the values they give are checked against the fields they travel in, as a write checks
// them; only then is the target touched.
#include "cli/commands.h"

#include "settings/assign.h"
#include "cli/device_write.h"
#include "cli/output.h"
#include "cli/console.h"
#include "cli/sources.h"
#include "cli/save.h"
#include "cli/settings_output.h"
#include "cli/timeline_chart.h"

namespace {

// The values the assignments give, in order (a later one wins where two name the same value);
// nothing else is held. *typed gets, by table position, each value as the user wrote it.
// EXIT_DONE, or EXIT_USAGE after naming the first bad assignment.
int parse_assignments(const std::vector<std::string>& texts, SettingsValues* given,
                      std::vector<std::string>* typed) {
    *given = SettingsValues{};
    typed->assign(SETTINGS_COUNT, "");
    for (const std::string& text : texts) {
        Assignment a{};
        char why[ASSIGN_WHY_BYTES];
        if (assign_parse(text.c_str(), &a, why) != 0) {
            err_line(std::string("lumivo24-cli: ") + why);
            return EXIT_USAGE;
        }
        assign_apply(&a, given);
        for (int k = 0; k < a.count; ++k) {
            char value[ASSIGN_VALUE_BYTES];
            assign_value_text(&a, k, value);
            (*typed)[a.positions[k]] = value;
        }
    }
    return EXIT_DONE;
}

// The values of a file target, or of the factory defaults (which need --output); *format is
// the format the file was in. EXIT_DONE, or the exit code after saying why.
int load_target(const CliRequest& request, SettingsValues* values, SettingsFormat* format) {
    if (request.backup_named || request.no_backup) {
        err_line(std::string("lumivo24-cli: ") + (request.no_backup ? "--no-backup" : "--backup") +
                 " is for set device, which backs up the controller's settings first; a file is "
                 "replaced only by its whole new content (copy it first to keep it).");
        return EXIT_USAGE;
    }
    if (request.force) {
        err_line("lumivo24-cli: --force is for set device, to write to a controller of another "
                 "board revision; set on a file writes to no controller.");
        return EXIT_USAGE;
    }
    if (request.target != "defaults") {
        return load_file(request.target, values, format);
    }
    if (!request.output_named) {
        err_line("lumivo24-cli: set defaults needs --output: the file to save the changed "
                 "factory settings to.");
        return EXIT_USAGE;
    }
    values_from_defaults(values);
    return EXIT_DONE;
}

// A file target: read, change, check, and save in place or to --output.
int set_file(const CliRequest& request, const SettingsValues& given,
             const std::vector<std::string>& typed) {
    const std::string& target = request.target;
    SettingsValues values{};
    SettingsFormat format = FORMAT_LV24;
    int code = load_target(request, &values, &format);
    if (code != EXIT_DONE) {
        return code;
    }
    // An empty name given with --output is refused by the save, never taken as "in place".
    const std::string output = request.output_named ? request.output : target;
    if (request.output_named) {
        format = format_of_name(output);
    }
    if (format == FORMAT_LV24 && given.held[SETTINGS_FILE_UNSTORED]) {
        err_line("lumivo24-cli: a .lv24 file has no place for channel 24's standby_enabled; "
                 "leave channel 24 out of that assignment, or save to a .json file.");
        return EXIT_USAGE;
    }
    code = refuse_unholdable(given, "The assignments", typed.data());
    if (code != EXIT_DONE) {
        return code;
    }
    const SettingsValues before = values;
    for (int p = 0; p < SETTINGS_COUNT; ++p) {
        if (given.held[p]) {
            values.table[p] = given.table[p];
            values.held[p] = true;
        }
    }
    if (request.dry_run) {
        const std::string changes = differences_text(before, values);
        out_text(changes);
        out_text(timeline_change_text(before.table, values.table));
        note_line(changes.empty() ? target + " already holds these values; nothing was changed."
                                  : "Dry run: the changes above were not saved to " + output + ".");
        return EXIT_DONE;
    }
    console_catch_interrupt();
    code = save_file(output, format, values, target);
    if (code == EXIT_DONE) {
        note_line("Saved the changed settings to " + output + ".");
    }
    return code;
}

} // namespace

int cli_set(const CliRequest& request) {
    SettingsValues given{};
    std::vector<std::string> typed;
    int code = parse_assignments(request.assignments, &given, &typed);
    if (code != EXIT_DONE) {
        return code;
    }
    if (request.target != "device") {
        return set_file(request, given, typed);
    }
    if (request.output_named) {
        err_line("lumivo24-cli: set device writes into the controller; --output is for files "
                 "(lumivo24-cli convert device --output FILE saves what the controller holds).");
        return EXIT_USAGE;
    }
    // Checked here as well as by the write, so that the refusal shows the values as typed.
    code = refuse_unholdable(given, "The assignments", typed.data());
    if (code != EXIT_DONE) {
        return code;
    }
    return device_write(request, {&given, "the changed settings", "The assignments", ""});
}
