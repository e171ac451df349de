#include "cli/sources.h"

#include <cctype>

#include "cli/find_controller.h"
#include "cli/output.h"
#include "cli/settings_output.h"
#include "settings/file_replace.h"
#include "settings/settings_hold.h"
#include "settings/settings_json.h"
#include "cli/console.h"

namespace {

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

// Text in UTF-16, as Notepad's "Unicode" and Windows PowerShell's > save it: a byte-order mark
// FF FE or FE FF, or a first character ('{' or a blank) with a zero byte beside it.
bool looks_like_utf16(const uint8_t* bytes, size_t n) {
    if (n < 2) {
        return false;
    }
    if ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF)) {
        return true;
    }
    for (const uint8_t c : {'{', ' ', '\t', '\r', '\n'}) {
        if ((bytes[0] == c && bytes[1] == 0) || (bytes[0] == 0 && bytes[1] == c)) {
            return true;
        }
    }
    return false;
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

bool name_ends_with(const std::string& path, const std::string& suffix) {
    if (path.size() < suffix.size()) {
        return false;
    }
    for (size_t i = 0; i < suffix.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(path[path.size() - suffix.size() + i]);
        if (tolower(c) != suffix[i]) {
            return false;
        }
    }
    return true;
}

SettingsFormat format_of_name(const std::string& path) {
    return name_ends_with(path, ".json") ? FORMAT_JSON : FORMAT_LV24;
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
    const bool lv24 = values_file_load(disk, lv24_bytes, &as_lv24) == VALUES_FILE_OK;
    const bool json = !lv24 && looks_like_json(disk, n);
    if (format != nullptr) {
        *format = json ? FORMAT_JSON : FORMAT_LV24;
    }
    if (!lv24 && looks_like_utf16(disk, n)) {
        err_line(path + " is text in UTF-16; JSON settings must be in UTF-8 (save the file again "
                        "with the encoding UTF-8).");
        return EXIT_FILE;
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

int refuse_unholdable(const SettingsValues& values, const std::string& name,
                      const std::string* typed) {
    ValueMismatch list[VALUES_LISTED];
    const size_t n = values_unholdable(&values, list, VALUES_LISTED);
    if (n == 0) {
        return EXIT_DONE;
    }
    err_line(name + ": " + (n == 1 ? std::string("a value") : std::to_string(n) + " values") +
             " that the controller cannot hold (the value, then the range its field holds); "
             "nothing was changed:");
    const std::string lines = unholdable_text(list, n, typed);
    console_write(CONSOLE_ERR, lines.data(), lines.size());
    return EXIT_FILE;
}
