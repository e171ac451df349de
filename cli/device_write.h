// Writing settings into the controller with everything that goes with it: the board-revision
// rule, a backup of what it held, the write, and a read-back compared with what was given.
#pragma once

#include <string>

#include "cli/commands.h"
#include "settings/settings_values.h"

// One change of the controller's settings.
struct DeviceWrite {
    const SettingsValues* given; // the values to put in; the controller keeps its own elsewhere
    std::string what;            // how messages name them: the file, "defaults", "the changes"
    std::string given_by;        // what gave them, for a refusal: the file, "The assignments"
    std::string compare;         // what `diff device` compares with after a Ctrl+C ("": backup)
};

// Returns the command's exit code: EXIT_DONE when the controller was written and holds the
// values given, and the exit code of whatever failed, after saying what.
int device_write(const CliRequest& request, const DeviceWrite& change);
