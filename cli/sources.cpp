#include "cli/sources.h"

#include <cctype>

#include "cli/connection.h"
#include "cli/output.h"
#include "cli/platform.h"
#include "link/wire_image.h"

namespace {

constexpr size_t LV24_READ_BYTES = VALUES_FILE_DISK_MAX + 1; // as much as the window reads

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

} // namespace

SettingsFormat format_of_name(const std::string& path) {
    return ends_with_json(path) ? FORMAT_JSON : FORMAT_LV24;
}

int load_file(const std::string& path, SettingsValues* values, SettingsFormat* format) {
    static uint8_t disk[LV24_READ_BYTES];
    size_t n = 0;
    char why[PLATFORM_WHY_BYTES];
    if (platform_file_read(path.c_str(), disk, sizeof disk, &n, why) != 0) {
        err_line("Cannot read " + path + ": " + why + ".");
        return EXIT_FILE;
    }
    if (format != nullptr) {
        *format = FORMAT_LV24;
    }
    return load_lv24(path, disk, n, values);
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
    char why[PLATFORM_WHY_BYTES];
    const int saved = platform_file_replace(path.c_str(), bytes, n, why);
    if (saved == PLATFORM_FILE_INTERRUPTED) { // the new file was removed, the old one kept
        err_line("Interrupted; nothing was saved to " + path + ".");
        return EXIT_INTERRUPTED;
    }
    if (saved != PLATFORM_FILE_DONE) {
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
    err_line(name + " holds " + (n == 1 ? std::string("a value") : std::to_string(n) + " values") +
             " that the controller cannot hold (value -> what it would hold instead); nothing "
             "was written:");
    const std::string lines = mismatches_text(list, n);
    platform_write(PLATFORM_ERR, lines.data(), lines.size());
    return EXIT_FILE;
}
