// Settings saved to a file, whole or not at all, in the format the file's name chooses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "cli/sources.h"

// Writes the values to `path` in `format`, replacing the file in one step. `source` is what the
// JSON names as its source. JSON has no NaN or infinity, so values holding one are not saved as
// JSON: the tool never writes a file that it would refuse to read. EXIT_DONE, EXIT_FILE after saying why, or EXIT_INTERRUPTED.
int save_file(const std::string& path, SettingsFormat format, const SettingsValues& values,
              const std::string& source);

// The same for a file that must be new: nothing is ever replaced, and a name that is taken (by a
// file, a folder or a link, dangling or not) gives EXIT_FILE after saying so.
int save_new_file(const std::string& path, SettingsFormat format, const SettingsValues& values,
                  const std::string& source);

// Writes any content to `path` the same way (a picture, for timeline), with the same results.
int save_bytes(const std::string& path, const uint8_t* bytes, size_t n);
