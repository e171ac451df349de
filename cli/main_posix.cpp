// Entry of the command-line tool on POSIX systems: the arguments are already UTF-8 (or bytes
// that the file system takes as they are).
#include "cli/cli_main.h"

int main(int argc, char** argv) {
    return cli_main(argc, argv);
}
