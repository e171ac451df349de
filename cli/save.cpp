#include "cli/save.h"

#include "cli/console.h"
#include "cli/output.h"
#include "cli/settings_output.h"
#include "settings/file_replace.h"

namespace {

// Puts the bytes in place with `put` (file_put or file_put_new).
int put_bytes(const std::string& path, const uint8_t* bytes, size_t n, decltype(&file_put) put) {
    char why[FILE_WHY_BYTES];
    const int saved = put(path.c_str(), bytes, n, console_not_interrupted, why);
    if (saved == FILE_PUT_CANCELLED) { // the new file was removed, the old one kept
        err_line("Interrupted; nothing was saved to " + path + ".");
        return EXIT_INTERRUPTED;
    }
    if (saved == FILE_PUT_EXISTS) {
        err_line("Cannot write '" + path +
                 "': something of that name exists, and it is not "
                 "replaced; nothing was saved.");
        return EXIT_FILE;
    }
    if (saved != FILE_PUT_DONE) {
        err_line("Cannot write '" + path + "': " + why + "; nothing was saved.");
        return EXIT_FILE;
    }
    return EXIT_DONE;
}

// JSON has no NaN or infinity: a file holding one would be refused when it is read again, so
// it is not written. EXIT_DONE, or EXIT_FILE after naming every such value.
int refuse_not_finite(const std::string& path, const SettingsValues& values) {
    size_t n = 0;
    const std::string lines = not_finite_text(values, &n);
    if (n == 0) {
        return EXIT_DONE;
    }
    err_line(n == 1 ? "Cannot write '" + path +
                          "': JSON has no number for this value, so the file could not be read "
                          "back; nothing was saved (a .lv24 file holds it):"
                    : "Cannot write '" + path +
                          "': JSON has no number for these values, so the file could not be read "
                          "back; nothing was saved (a .lv24 file holds them):");
    console_write(CONSOLE_ERR, lines.data(), lines.size());
    return EXIT_FILE;
}

// Puts the file's content in place with `put`.
int save(const std::string& path, SettingsFormat format, const SettingsValues& values,
         const std::string& source, decltype(&file_put) put) {
    static uint8_t disk[VALUES_FILE_DISK_MAX];
    std::string json;
    const uint8_t* bytes = disk;
    size_t n = 0;
    if (format == FORMAT_JSON) {
        const int code = refuse_not_finite(path, values);
        if (code != EXIT_DONE) {
            return code;
        }
        json = settings_json_text(source, values);
        bytes = reinterpret_cast<const uint8_t*>(json.data());
        n = json.size();
    } else {
        n = values_file_bytes(&values, disk);
    }
    return put_bytes(path, bytes, n, put);
}

} // namespace

int save_file(const std::string& path, SettingsFormat format, const SettingsValues& values,
              const std::string& source) {
    return save(path, format, values, source, file_put);
}

int save_new_file(const std::string& path, SettingsFormat format, const SettingsValues& values,
                  const std::string& source) {
    return save(path, format, values, source, file_put_new);
}

int save_bytes(const std::string& path, const uint8_t* bytes, size_t n) {
    return put_bytes(path, bytes, n, file_put);
}
