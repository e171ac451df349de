#include "cli/save.h"

#include "cli/console.h"
#include "cli/output.h"
#include "cli/settings_output.h"
#include "settings/file_replace.h"

int save_file(const std::string& path, SettingsFormat format, const SettingsValues& values,
              const std::string& source) {
    static uint8_t disk[VALUES_FILE_DISK_MAX];
    std::string json;
    const uint8_t* bytes = disk;
    size_t n = 0;
    if (format == FORMAT_JSON) {
        json = settings_json_text(source, values);
        bytes = reinterpret_cast<const uint8_t*>(json.data());
        n = json.size();
    } else {
        n = values_file_bytes(&values, disk);
    }
    return save_bytes(path, bytes, n);
}

int save_bytes(const std::string& path, const uint8_t* bytes, size_t n) {
    char why[FILE_WHY_BYTES];
    const int saved = file_put(path.c_str(), bytes, n, console_not_interrupted, why);
    if (saved == FILE_PUT_CANCELLED) { // the new file was removed, the old one kept
        err_line("Interrupted; nothing was saved to " + path + ".");
        return EXIT_INTERRUPTED;
    }
    if (saved != FILE_PUT_DONE) {
        err_line("Cannot write '" + path + "': " + why + "; nothing was saved.");
        return EXIT_FILE;
    }
    return EXIT_DONE;
}
