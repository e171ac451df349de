// The controller's settings saved before the tool changes them, so that a write of the backup
// undoes the change.
#pragma once

#include <cstdint>
#include <string>

#include "cli/commands.h"
#include "link/frame.h"

// Saves the controller's present settings (its image as read) as the window would save them
// after reading it: to --backup, or to the backup folder as YYYYMMDD-HHMMSS-PORT.lv24 (never over
// an earlier backup), and says where on standard error, with the command that restores them.
// With --no-backup it saves nothing and *path stays empty. EXIT_DONE, or EXIT_FILE after saying
// why (then nothing may be written to the controller), or EXIT_INTERRUPTED.
int backup_settings(const CliRequest& request, const std::string& port,
                    const uint8_t image[WIRE_IMAGE_BYTES], std::string* path);
