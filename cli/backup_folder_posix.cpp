// The backup folder on POSIX systems, in the user's state folder as the XDG base directories
// place it.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/backup_folder.h"

int backup_folder(char folder[BACKUP_FOLDER_BYTES], char why[FILE_WHY_BYTES]) {
    std::string base;
    const char* state = getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') {
        base = state;
    } else {
        const char* home = getenv("HOME");
        if (home == nullptr || home[0] != '/') {
            const struct passwd* user = getpwuid(getuid());
            home = user != nullptr ? user->pw_dir : nullptr;
        }
        if (home == nullptr || home[0] != '/') {
            snprintf(why, FILE_WHY_BYTES, "the home folder is not known (HOME is not set)");
            return -1;
        }
        base = std::string(home) + "/.local/state";
    }
    while (base.size() > 1 && base.back() == '/') {
        base.pop_back();
    }
    const std::string path = (base == "/" ? "" : base) + "/lumivo24/backups";
    if (path.size() >= BACKUP_FOLDER_BYTES) {
        snprintf(why, FILE_WHY_BYTES, "%s", strerror(ENAMETOOLONG));
        return -1;
    }
    // Every missing folder on the way, each private to the user.
    for (size_t end = 1; end <= path.size(); ++end) {
        if (end < path.size() && path[end] != '/') {
            continue;
        }
        const std::string part = path.substr(0, end);
        struct stat info {};
        if (stat(part.c_str(), &info) != 0 && mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            snprintf(why, FILE_WHY_BYTES, "cannot create the folder %s: %s", part.c_str(),
                     strerror(errno));
            return -1;
        }
    }
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        snprintf(why, FILE_WHY_BYTES, "%s is not a folder", path.c_str());
        return -1;
    }
    snprintf(folder, BACKUP_FOLDER_BYTES, "%s", path.c_str());
    return 0;
}
