// The command line of lumivo24-cli: arguments in UTF-8, parsed with CLI11, then one command.
#pragma once

// Returns the process's exit code.
int cli_main(int argc, char** argv);
