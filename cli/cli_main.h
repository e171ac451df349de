// lumivo24-cli as a whole, below each platform's entry.
#pragma once

// Runs the command that the arguments (UTF-8) name. Returns the process's exit code.
int cli_main(int argc, char** argv);
