#include "cli/backups.h"

#include <cctype>
#include <ctime>
#include <vector>

#include "cli/backup_folder.h"
#include "cli/console.h"
#include "cli/output.h"
#include "cli/save.h"
#include "cli/shell_quote.h"
#include "settings/file_replace.h"

namespace {

// The port in a file name: its last part ("ttyUSB0" of /dev/ttyUSB0, "COM5"), with the folder's
// name before a last part that begins with a digit ("pts3" of /dev/pts/3), so that a backup's
// number never reads as the port's; anything but letters, digits, '.', '-' and '_' made '_'.
std::string port_for_name(const std::string& port) {
    const size_t slash = port.find_last_of("/\\");
    std::string out = slash == std::string::npos ? port : port.substr(slash + 1);
    if (slash != std::string::npos && slash > 0 && !out.empty() &&
        isdigit(static_cast<unsigned char>(out[0]))) {
        const size_t before = port.find_last_of("/\\", slash - 1);
        out = port.substr(before == std::string::npos ? 0 : before + 1, slash - before - 1) + out;
    }
    for (char& c : out) {
        if (!isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') {
            c = '_';
        }
    }
    return out.empty() ? "port" : out;
}

#ifdef _WIN32
constexpr char FOLDER_SEPARATOR[] = "\\";
#else
constexpr char FOLDER_SEPARATOR[] = "/";
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
        std::string(folder) + FOLDER_SEPARATOR + stamp + "-" + port_for_name(port);
    for (int i = 1; i < BACKUP_NAME_TRIES; ++i) {
        *path = base;
        if (i > 1) {
            *path += '-';
            *path += std::to_string(i);
        }
        *path += ".lv24";
        const int made = file_put_new(path->c_str(), bytes, n, console_not_interrupted, why);
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
             ".lv24 is taken; nothing was written.");
    return EXIT_FILE;
}

} // namespace

int backup_check(const CliRequest& request, const std::string& source) {
    if (!request.backup_named || request.no_backup) {
        return EXIT_DONE;
    }
    const std::string& name = request.backup;
    std::string why;
    if (name.empty()) {
        why = "the file name is empty";
    } else if (file_name_taken(name.c_str())) {
        why = name == source ? "it is the file being written, and a backup never replaces a file"
                             : "something of that name exists already, and a backup never "
                               "replaces it (name a new file, or leave out --backup to save "
                               "the backup in the backup folder)";
    }
    if (why.empty()) {
        return EXIT_DONE;
    }
    err_line("Cannot save the backup to '" + name + "': " + why + "; nothing was written.");
    return EXIT_FILE;
}

int backup_settings(const CliRequest& request, const std::string& port,
                    const uint8_t image[WIRE_IMAGE_BYTES], std::string* path) {
    path->clear();
    if (request.no_backup) {
        return EXIT_DONE;
    }
    SettingsValues values{};
    values_from_controller(image, &values);
    if (request.backup_named) {
        const int code =
            save_new_file(request.backup, format_of_name(request.backup), values, "device");
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
    // The port given goes into the command as it was given; a port the search found is found
    // again the same way.
    std::vector<std::string> restore = {"write", *path};
    if (!request.ports.empty()) {
        restore.insert(restore.end(), {"--port", port});
    }
    note_line(text_of("Saved the settings the controller held to %s. To put them back: %s",
                      {*path, shell_command_line(restore)}));
    return EXIT_DONE;
}
