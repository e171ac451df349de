// Entry of the command-line tool on POSIX systems: the arguments are already UTF-8 (or bytes
// that the file system takes as they are).
#include <signal.h>

#include "cli/cli_main.h"

int main(int argc, char** argv) {
    // A reader of standard output that goes away is a failed write the tool handles, not the end
    // of the process: the command says so and sets its exit code, and a watch ends cleanly.
    signal(SIGPIPE, SIG_IGN);
    return cli_main(argc, argv);
}
