// The controller's settings saved before the tool changes them, so that a write of the backup
// undoes the change.
#pragma once

#include <cstdint>
#include <string>

#include "cli/commands.h"
#include "link/frame.h"

// Looks at the name given with --backup before anything is sent: the backup never replaces a
// file, so an empty name, a name that something stands at already and the file being written
// (`source`) are refused. EXIT_DONE (also without --backup), or EXIT_FILE after saying why.
int backup_check(const CliRequest& request, const std::string& source);

// Saves the controller's present settings (its image as read) as the window would save them
// after reading it: to --backup (as JSON for a name ending in .json), or to the backup folder as
// YYYYMMDD-HHMMSS-PORT.lv24, never over an existing file, and says where on standard error,
// with the command that restores them (with --port when the port was given), quoted for the
// platform's shell. With --no-backup it
// saves nothing and *path stays empty. EXIT_DONE, or EXIT_FILE after saying why (then nothing
// may be written to the controller), or EXIT_INTERRUPTED.
int backup_settings(const CliRequest& request, const std::string& port,
                    const uint8_t image[WIRE_IMAGE_BYTES], std::string* path);
