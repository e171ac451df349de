// lumivo24-factory-defaults FILE: writes the settings file of the factory defaults to FILE, for
// the release archive. Exit code 0 when the whole file was written, 1 otherwise (no file left).
#include <cstdio>

#include "packaging/factory_defaults.h"
#include "settings/settings_file_format.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: lumivo24-factory-defaults FILE.lv24\n");
        return 1;
    }
    uint8_t bytes[2 * SETTINGS_FILE_BYTES];
    const size_t length = factory_defaults_file(bytes, sizeof bytes);
    std::FILE* file = length == 0 ? nullptr : std::fopen(argv[1], "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "lumivo24-factory-defaults: cannot create %s\n", argv[1]);
        return 1;
    }
    const bool written = std::fwrite(bytes, 1, length, file) == length;
    if (std::fclose(file) != 0 || !written) {
        std::remove(argv[1]);
        std::fprintf(stderr, "lumivo24-factory-defaults: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
