// Commands the tool prints for the user to run (the write that restores a backup, the diff that
// checks an interrupted write), quoted so that the line, pasted into the platform's shell as it
// stands, passes each word unchanged: a path with a space, a quote or a Cyrillic name included.
#pragma once

#include <string>
#include <vector>

enum ShellKind : int {
    SHELL_POSIX,      // sh, bash, zsh and the like
    SHELL_CMD,        // Windows' cmd
    SHELL_POWERSHELL, // Windows PowerShell and pwsh
};

// One word for the shell. A word of letters, digits and _ . : / - (and \ for cmd and PowerShell;
// for the POSIX shells and cmd also any non-ASCII letter) stays as it is. Otherwise a POSIX shell
// gets it in single quotes (a single quote within as '\''), cmd in double quotes (which no
// Windows name holds), PowerShell in single quotes with the single quote (and the typographic
// ones it takes for it) doubled.
std::string shell_quote(const std::string& word, ShellKind shell);

// The line that runs lumivo24-cli with these arguments in this platform's shell: on POSIX
// systems one line; on Windows the line for cmd, followed by " (in PowerShell: LINE)" where
// PowerShell needs it written otherwise, or where cmd could expand a '%' in it.
std::string shell_command_line(const std::vector<std::string>& arguments);
