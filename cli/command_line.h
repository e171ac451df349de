// The command line of lumivo24-cli: arguments in UTF-8, parsed into a request.
#pragma once

#include "cli/commands.h"

// Fills *request from the arguments, with the name of its command. Returns EXIT_DONE when the
// command is to run; otherwise the process's exit code after the help, the version or what is
// wrong with the line has been said: request->command is then empty.
int command_line_parse(int argc, char** argv, CliRequest* request);
