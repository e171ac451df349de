// Where settings come from. A SOURCE is a settings file, 'device' (the controller) or
// 'defaults'; a settings file is the window program's .lv24 or the JSON that `show --json`
// prints. Each routine says on standard error what failed, naming the file or port, and returns
// the exit code.
#pragma once

#include <string>

#include "cli/commands.h"
#include "settings/settings_values.h"

// The two formats of a settings file.
enum SettingsFormat : int {
    FORMAT_LV24 = 0, // the window program's file, byte for byte
    FORMAT_JSON = 1, // what show --json prints
};

// Whether a file name ends with `suffix` (given in lower case), in any case of ASCII letters.
bool name_ends_with(const std::string& path, const std::string& suffix);

// The format a file of this name is written in: .json gives JSON, any other name .lv24.
SettingsFormat format_of_name(const std::string& path);

// Reads a settings file of either format; *format (when given) says which it was.
int load_file(const std::string& path, SettingsValues* values, SettingsFormat* format = nullptr);

// The controller's settings as the window takes them in; *port_used (when given) names the port
// they came from.
int load_device(const CliRequest& request, SettingsValues* values,
                std::string* port_used = nullptr);

// A SOURCE argument: "device", "defaults" or a settings file.
int load_source(const CliRequest& request, const std::string& source, SettingsValues* values);

// Refuses a source that holds values the controller cannot hold, naming each with the range its
// field holds: EXIT_FILE, or EXIT_DONE when every value can travel. `typed` (when given, one text
// per table position) is how the user wrote each value, shown instead of the value read.
int refuse_unholdable(const SettingsValues& values, const std::string& name,
                      const std::string* typed = nullptr);
