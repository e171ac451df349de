// Settings files on POSIX systems.
//
// A file is never rewritten in place: the new content goes into a new file in the same folder
// (so that both lie on one file system), is flushed to the disk, and is renamed over the old one,
// which is atomic; then the folder itself is flushed so that the rename survives a power cut.
// Whatever fails, the old file stays as it was and the new one is removed.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/platform.h"

namespace {

void say_why(char why[PLATFORM_WHY_BYTES], int error) {
    snprintf(why, PLATFORM_WHY_BYTES, "%s", strerror(error));
}

bool write_all(int fd, const uint8_t* bytes, size_t n) {
    size_t done = 0;
    while (done < n) {
        const ssize_t put = write(fd, bytes + done, n - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            if (put == 0) {
                errno = EIO;
            }
            return false;
        }
        done += static_cast<size_t>(put);
    }
    return true;
}

// The folder of a path, and the temporary name beside it: "dir/.name.XXXXXX".
bool split_path(const char* path, char* folder, size_t folder_cap, char* temporary,
                size_t temporary_cap) {
    const char* slash = strrchr(path, '/');
    const char* name = slash != nullptr ? slash + 1 : path;
    const size_t folder_len = slash != nullptr ? static_cast<size_t>(slash - path) : 0;
    if (*name == 0) {
        return false;
    }
    int n = slash == nullptr ? snprintf(folder, folder_cap, ".")
            : folder_len == 0
                ? snprintf(folder, folder_cap, "/")
                : snprintf(folder, folder_cap, "%.*s", static_cast<int>(folder_len), path);
    if (n < 0 || static_cast<size_t>(n) >= folder_cap) {
        return false;
    }
    n = snprintf(temporary, temporary_cap, "%.*s.%s.XXXXXX", static_cast<int>(name - path), path,
                 name);
    return n >= 0 && static_cast<size_t>(n) < temporary_cap;
}

// The new file's permissions: those of the file it replaces, or the usual ones for a new file.
mode_t new_file_mode(const char* path) {
    struct stat old {};
    if (stat(path, &old) == 0 && S_ISREG(old.st_mode)) {
        return old.st_mode & 07777;
    }
    const mode_t mask = umask(022);
    umask(mask);
    return 0666 & ~mask;
}

} // namespace

int platform_file_read(const char* path, uint8_t* buffer, size_t cap, size_t* n,
                       char why[PLATFORM_WHY_BYTES]) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        say_why(why, errno);
        return -1;
    }
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        close(fd);
        say_why(why, EISDIR);
        return -1;
    }
    size_t got = 0;
    while (got < cap) {
        const ssize_t r = read(fd, buffer + got, cap - got);
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r < 0) {
            say_why(why, errno);
            close(fd);
            return -1;
        }
        if (r == 0) {
            break;
        }
        got += static_cast<size_t>(r);
    }
    close(fd);
    *n = got;
    return 0;
}

int platform_file_replace(const char* path, const uint8_t* bytes, size_t n,
                          char why[PLATFORM_WHY_BYTES]) {
    char folder[4096];
    char temporary[4096 + 16];
    if (!split_path(path, folder, sizeof folder, temporary, sizeof temporary)) {
        say_why(why, ENAMETOOLONG);
        return -1;
    }
    const mode_t mode = new_file_mode(path);
    const int fd = mkstemp(temporary);
    if (fd < 0) {
        say_why(why, errno);
        return -1;
    }
    bool ok = fchmod(fd, mode) == 0 && write_all(fd, bytes, n) && fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && rename(temporary, path) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        unlink(temporary);
        say_why(why, error);
        return -1;
    }
    const int dir = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir); // some file systems cannot flush a folder; the file is in place regardless
        close(dir);
    }
    return 0;
}
