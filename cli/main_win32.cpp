// Entry of the command-line tool on Windows. The command line is taken as UTF-16, so that file
// names in any script (Cyrillic ones included) arrive whole, and handed on as UTF-8.
#include <windows.h>

#include <cstdlib>
#include <cwchar>

#include "cli/cli_main.h"
#include "base/text_win32.h"

int wmain(int argc, wchar_t** argv) {
    char** utf8 = static_cast<char**>(calloc(static_cast<size_t>(argc) + 1, sizeof(char*)));
    if (utf8 == nullptr) {
        return 70;
    }
    for (int i = 0; i < argc; ++i) {
        // At most three UTF-8 bytes for each UTF-16 unit.
        const size_t cap = 3 * wcslen(argv[i]) + 1;
        utf8[i] = static_cast<char*>(malloc(cap));
        if (utf8[i] == nullptr || !text_to_utf8(argv[i], utf8[i], cap)) {
            return 70;
        }
    }
    return cli_main(argc, utf8); // the process ends here; the copies go with it
}
