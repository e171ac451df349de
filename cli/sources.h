// Where settings come from and go to. A SOURCE is a settings file, 'device' (the controller)
// or 'defaults'; a settings file is the window program's .lv24 or the JSON that
// `show --json` prints. Files are written whole or not at all, in the format their name's
// extension chooses: .json gives JSON, any other name the window program's .lv24.
#pragma once

#include <string>

#include "cli/commands.h"
#include "settings/settings_values.h"
#include "link/frame.h"

// The two formats of a settings file.
enum SettingsFormat : int {
    FORMAT_LV24 = 0, // the window program's file, byte for byte
    FORMAT_JSON = 1, // what show --json prints
};

// The format a file of this name is written in.
SettingsFormat format_of_name(const std::string& path);

// Reads a settings file of either format; *format (when given) says which it was.
int load_file(const std::string& path, SettingsValues* values, SettingsFormat* format = nullptr);

// The controller's settings as the window takes them in; *port_used (when given) names the port
// they came from.
int load_device(const CliRequest& request, SettingsValues* values,
                std::string* port_used = nullptr);

// A SOURCE argument: "device", "defaults" or a settings file.
int load_source(const CliRequest& request, const std::string& source, SettingsValues* values);

// Writes the values to `path` in `format`, replacing the file in one step. `source` is what the
// JSON names as its source. EXIT_DONE, EXIT_FILE after saying why, or EXIT_INTERRUPTED.
int save_file(const std::string& path, SettingsFormat format, const SettingsValues& values,
              const std::string& source);

// Refuses a source that holds values the controller cannot hold, naming each with what the
// controller would hold instead: EXIT_FILE, or EXIT_DONE when every value can travel.
int refuse_unholdable(const SettingsValues& values, const std::string& name);

// Saves the controller's present settings (its image as read) before they are changed, as the
// window would save them after reading it: to --backup, or to the backup folder as
// YYYYMMDD-HHMMSS-PORT.lv24 (never over an earlier backup), and says where on standard error.
// With --no-backup it saves nothing and *path stays empty. EXIT_DONE, or EXIT_FILE after saying
// why (then nothing may be written to the controller), or EXIT_INTERRUPTED.
int backup_settings(const CliRequest& request, const std::string& port,
                    const uint8_t image[WIRE_IMAGE_BYTES], std::string* path);
