#include "cli/sources.h"

#include <cctype>
#include <cstdio>
#include <ctime>

#include "cli/connection.h"
#include "cli/output.h"
#include "cli/backup_folder.h"
#include "cli/console.h"
#include "settings/settings_json.h"
#include "link/wire_image.h"
#include "settings/file_replace.h"

namespace {

// A Ctrl+C that came while a file was written keeps the new file from taking its place.
bool not_interrupted() {
    return !console_interrupted();
}

constexpr size_t JSON_READ_BYTES = 1 << 20; // far more than any settings document takes

// A JSON document begins with '{' after blanks (and a byte-order mark that some editors put
// first); a .lv24 file begins with its banner's line break.
bool looks_like_json(const uint8_t* bytes, size_t n) {
    size_t i = n >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
    while (i < n && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n')) {
        ++i;
    }
    return i < n && bytes[i] == '{';
}

bool ends_with_json(const std::string& path) {
    if (path.size() < 5) {
        return false;
    }
    std::string tail = path.substr(path.size() - 5);
    for (char& c : tail) {
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
    return tail == ".json";
}

int load_lv24(const std::string& path, const uint8_t* disk, size_t n, SettingsValues* values) {
    const int checked = values_file_load(disk, n, values);
    if (checked == VALUES_FILE_SHORT) {
        err_line(path + " is not a settings file: it is too short.");
        return EXIT_FILE;
    }
    if (checked == VALUES_FILE_LINE_ENDS) {
        err_line(path + " cannot be used: its line ends were changed (each CR LF made LF, as "
                        "dos2unix does), and the window program refuses it as well.");
        return EXIT_FILE;
    }
    if (checked != VALUES_FILE_OK) {
        err_line(path + " is not a settings file, or it is damaged: its checksum does not match.");
        return EXIT_FILE;
    }
    return EXIT_DONE;
}

// The port in a file name: its last part ("ttyUSB0" of /dev/ttyUSB0, "COM5"), with anything
// but letters, digits, '.', '-' and '_' made '_'.
std::string port_for_name(const std::string& port) {
    const size_t slash = port.find_last_of("/\\");
    std::string out = slash == std::string::npos ? port : port.substr(slash + 1);
    for (char& c : out) {
        if (!isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') {
            c = '_';
        }
    }
    return out.empty() ? "port" : out;
}

#ifdef _WIN32
constexpr char PLATFORM_SEPARATOR[] = "\\";
#else
constexpr char PLATFORM_SEPARATOR[] = "/";
#endif

constexpr int BACKUP_NAME_TRIES = 100; // -2 .. -99 after a name taken in the same second

// A new file in the backup folder; *path says which.
int backup_to_folder(const std::string& port, const uint8_t* bytes, size_t n, std::string* path) {
    char folder[BACKUP_FOLDER_BYTES];
    char why[FILE_WHY_BYTES];
    if (backup_folder(folder, why) != 0) {
        err_line(std::string("Cannot make the backup folder: ") + why + "; nothing was written.");
        return EXIT_FILE;
    }
    const time_t now = time(nullptr);
    char stamp[32] = "00000000-000000";
    const tm* local = localtime(&now);
    if (local != nullptr) {
        strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", local);
    }
    const std::string base =
        std::string(folder) + PLATFORM_SEPARATOR + stamp + "-" + port_for_name(port);
    for (int i = 1; i < BACKUP_NAME_TRIES; ++i) {
        *path = base;
        if (i > 1) {
            *path += '-';
            *path += std::to_string(i);
        }
        *path += ".lv24";
        const int made = file_put_new(path->c_str(), bytes, n, not_interrupted, why);
        if (made == FILE_PUT_DONE) {
            return EXIT_DONE;
        }
        if (made == FILE_PUT_CANCELLED) {
            err_line("Interrupted; nothing was written.");
            return EXIT_INTERRUPTED;
        }
        if (made != FILE_PUT_EXISTS) {
            err_line("Cannot save the backup " + *path + ": " + why + "; nothing was written.");
            return EXIT_FILE;
        }
    }
    err_line("Cannot save the backup: every name like " + base +
             ".lv24 is taken; nothing was "
             "written.");
    return EXIT_FILE;
}

} // namespace

int backup_settings(const CliRequest& request, const std::string& port,
                    const uint8_t image[WIRE_IMAGE_BYTES], std::string* path) {
    path->clear();
    if (request.no_backup) {
        return EXIT_DONE;
    }
    SettingsValues values{};
    values_from_controller(image, &values);
    if (!request.backup.empty()) {
        const int code = save_file(request.backup, FORMAT_LV24, values, "device");
        if (code == EXIT_FILE) {
            err_line("Nothing was written to the controller: its settings could not be backed up.");
        }
        if (code != EXIT_DONE) {
            return code;
        }
        *path = request.backup;
    } else {
        static uint8_t disk[VALUES_FILE_DISK_MAX];
        const size_t n = values_file_bytes(&values, disk);
        const int code = backup_to_folder(port, disk, n, path);
        if (code != EXIT_DONE) {
            return code;
        }
    }
    note_line("Saved the settings the controller held to " + *path + " (lumivo24-cli write " +
              *path + " puts them back).");
    return EXIT_DONE;
}

SettingsFormat format_of_name(const std::string& path) {
    return ends_with_json(path) ? FORMAT_JSON : FORMAT_LV24;
}

int load_file(const std::string& path, SettingsValues* values, SettingsFormat* format) {
    // As much as a JSON file may hold, and one byte more to tell a longer one.
    static uint8_t disk[JSON_READ_BYTES + 1];
    size_t n = 0;
    char why[FILE_WHY_BYTES];
    if (file_read(path.c_str(), disk, sizeof disk, &n, why) != 0) {
        err_line("Cannot read " + path + ": " + why + ".");
        return EXIT_FILE;
    }
    // A file the window takes is a .lv24 file, whatever it begins with; the window reads no
    // more than SETTINGS_FILE_READ_BYTES, and what follows the content is not looked at.
    const size_t lv24_bytes = n < SETTINGS_FILE_READ_BYTES ? n : SETTINGS_FILE_READ_BYTES;
    SettingsValues as_lv24{};
    const bool json =
        values_file_load(disk, lv24_bytes, &as_lv24) != VALUES_FILE_OK && looks_like_json(disk, n);
    if (format != nullptr) {
        *format = json ? FORMAT_JSON : FORMAT_LV24;
    }
    if (!json) {
        return load_lv24(path, disk, lv24_bytes, values);
    }
    if (n > JSON_READ_BYTES) {
        err_line(path + " is too large to be a settings file (JSON settings take some 15 kB).");
        return EXIT_FILE;
    }
    char json_why[JSON_WHY_BYTES];
    if (values_from_json(reinterpret_cast<const char*>(disk), n, values, json_why) != 0) {
        err_line(path + ": " + json_why);
        return EXIT_FILE;
    }
    return EXIT_DONE;
}

int load_device(const CliRequest& request, SettingsValues* values, std::string* port_used) {
    Connection c;
    int code = connect(request, &c);
    if (code != EXIT_DONE) {
        return code;
    }
    uint8_t image[WIRE_IMAGE_BYTES];
    code = read_image(&c, image);
    close_all(&c);
    if (code == EXIT_DONE) {
        values_from_controller(image, values);
        if (port_used != nullptr) {
            *port_used = c.port;
        }
    }
    return code;
}

int load_source(const CliRequest& request, const std::string& source, SettingsValues* values) {
    if (source == "device") {
        return load_device(request, values);
    }
    if (source == "defaults") {
        values_from_defaults(values);
        return EXIT_DONE;
    }
    return load_file(source, values);
}

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
    char why[FILE_WHY_BYTES];
    const int saved = file_put(path.c_str(), bytes, n, not_interrupted, why);
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

int refuse_unholdable(const SettingsValues& values, const std::string& name) {
    ValueMismatch list[VALUES_LISTED];
    const size_t n = values_unholdable(&values, list, VALUES_LISTED);
    if (n == 0) {
        return EXIT_DONE;
    }
    err_line(name + ": " + (n == 1 ? std::string("a value") : std::to_string(n) + " values") +
             " that the controller cannot hold (value -> what it would hold instead); nothing "
             "was changed:");
    const std::string lines = mismatches_text(list, n);
    console_write(CONSOLE_ERR, lines.data(), lines.size());
    return EXIT_FILE;
}
