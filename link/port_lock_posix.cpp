// UUCP lock files. A new lock is written completely under a temporary name and then linked to
// its real name, so that no other program ever reads a lock file that is still empty, and two
// programs that try at once cannot both succeed: link() fails for the second.
#include "link/port_lock_posix.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The folders in which locks are looked for, and in this order tried for a new one.
const char* const LOCK_FOLDERS[] = {"/var/lock", "/run/lock"};
constexpr size_t LOCK_NAME_BYTES = 256;
constexpr int TAKE_ATTEMPTS = 3; // another program may take the lock between a look and a link

constexpr long LOCK_ABSENT = -1;     // lock_file_pid: there is no such file
constexpr long LOCK_UNREADABLE = -2; // lock_file_pid: a file that cannot be read
constexpr long HOLDER_UNKNOWN = -1;  // live_holder: held, by a process that cannot be named

// "LCK..ttyUSB0" for /dev/ttyUSB0, "LCK..pts_3" for /dev/pts/3.
bool lock_name(const char* device, char name[LOCK_NAME_BYTES]) {
    const char* rest = device;
    if (strncmp(device, "/dev/", 5) == 0) {
        rest = device + 5;
    } else if (const char* slash = strrchr(device, '/'); slash != nullptr) {
        rest = slash + 1;
    }
    const int n = snprintf(name, LOCK_NAME_BYTES, "LCK..%s", rest);
    if (rest[0] == 0 || n < 0 || static_cast<size_t>(n) >= LOCK_NAME_BYTES) {
        return false;
    }
    for (char* c = name + 5; *c != 0; ++c) {
        if (*c == '/') {
            *c = '_';
        }
    }
    return true;
}

bool lock_path(const char* folder, const char* name, char path[PORT_LOCK_PATH_BYTES]) {
    const int n = snprintf(path, PORT_LOCK_PATH_BYTES, "%s/%s", folder, name);
    return n > 0 && static_cast<size_t>(n) < PORT_LOCK_PATH_BYTES;
}

bool folder_exists(const char* folder) {
    struct stat st {};
    return stat(folder, &st) == 0 && S_ISDIR(st.st_mode);
}

// The process id in a lock file: ten digits as text, or four bytes of a binary number as very
// old programs wrote it. 0 for a file that holds neither; LOCK_ABSENT or LOCK_UNREADABLE.
long lock_file_pid(const char* path) {
    const int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT ? LOCK_ABSENT : LOCK_UNREADABLE;
    }
    char text[32];
    const ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    if (n < 0) {
        return LOCK_UNREADABLE;
    }
    text[n] = 0;
    if (n == 4 && strspn(text, "0123456789 \n") != 4) {
        int32_t binary = 0;
        memcpy(&binary, text, sizeof binary);
        return binary > 0 ? binary : 0;
    }
    char* end = nullptr;
    errno = 0;
    const long pid = strtol(text, &end, 10);
    if (end == text || errno != 0 || pid <= 0 || pid > INT_MAX || end[strspn(end, " \n")] != 0) {
        return 0;
    }
    return pid;
}

// A lock of this process's own id that this process did not take (port_lock_take is never
// asked twice for one device) was left by a process long gone that had the same id.
bool process_alive(long pid) {
    return pid > 0 && pid != getpid() && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// The live holder of the device's lock in any lock folder: its id, HOLDER_UNKNOWN, or 0. With
// `remove_stale`, stale locks are removed on the way; *stuck tells of one that could not be.
long live_holder(const char* name, bool remove_stale, bool* stuck) {
    for (const char* folder : LOCK_FOLDERS) {
        char path[PORT_LOCK_PATH_BYTES];
        if (!lock_path(folder, name, path)) {
            continue;
        }
        const long pid = lock_file_pid(path);
        if (pid == LOCK_ABSENT) {
            continue;
        }
        if (pid == LOCK_UNREADABLE) {
            return HOLDER_UNKNOWN;
        }
        if (process_alive(pid)) {
            return pid;
        }
        if (remove_stale && unlink(path) != 0 && errno != ENOENT) {
            *stuck = true;
        }
    }
    return 0;
}

// Writes this process's lock under a temporary name in `folder` and links it to `path`.
// Returns 0, or the errno of the step that failed (EEXIST: somebody holds the lock).
int make_lock(const char* folder, const char* path) {
    char temporary[PORT_LOCK_PATH_BYTES];
    const int named =
        snprintf(temporary, sizeof temporary, "%s/LTMP.%ld", folder, static_cast<long>(getpid()));
    if (named < 0 || static_cast<size_t>(named) >= sizeof temporary) {
        return ENAMETOOLONG;
    }
    unlink(temporary); // one left by a process long gone that had the same id
    const int fd = open(temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        return errno;
    }
    char text[16];
    const int n = snprintf(text, sizeof text, "%10ld\n", static_cast<long>(getpid()));
    // Readable by every program, whatever this user's umask.
    const bool written = fchmod(fd, 0644) == 0 && write(fd, text, static_cast<size_t>(n)) == n;
    const int closed = close(fd);
    int result = written && closed == 0 ? 0 : EIO;
    if (result == 0 && link(temporary, path) != 0) {
        result = errno;
    }
    unlink(temporary);
    return result;
}

} // namespace

int port_lock_take(const char* device, char path[PORT_LOCK_PATH_BYTES], long* holder) {
    path[0] = 0;
    *holder = 0;
    char name[LOCK_NAME_BYTES];
    if (!lock_name(device, name)) {
        return PORT_LOCK_FAILED;
    }
    for (int attempt = 0; attempt < TAKE_ATTEMPTS; ++attempt) {
        bool stuck = false;
        const long held = live_holder(name, true, &stuck);
        if (held != 0) {
            *holder = held > 0 ? held : 0;
            return PORT_LOCK_HELD;
        }
        if (stuck) {
            // A stale lock of another user in a folder where only its owner may remove it:
            // nobody uses the device, so it is used without a lock of this process's own.
            return PORT_LOCK_NONE;
        }
        bool raced = false;
        for (const char* folder : LOCK_FOLDERS) {
            if (!folder_exists(folder) || !lock_path(folder, name, path)) {
                continue;
            }
            const int made = make_lock(folder, path);
            if (made == 0) {
                return PORT_LOCK_TAKEN;
            }
            path[0] = 0;
            if (made == EEXIST) {
                raced = true;
                break;
            }
        }
        if (!raced) {
            // No folder takes a lock from this user: the device is used without one, as by a
            // program that does not know of lock files.
            return PORT_LOCK_NONE;
        }
    }
    bool stuck = false;
    const long held = live_holder(name, false, &stuck);
    *holder = held > 0 ? held : 0;
    return PORT_LOCK_HELD;
}

void port_lock_release(const char path[PORT_LOCK_PATH_BYTES]) {
    if (path[0] != 0 && lock_file_pid(path) == static_cast<long>(getpid())) {
        unlink(path);
    }
}

long port_lock_holder(const char* device) {
    char name[LOCK_NAME_BYTES];
    bool stuck = false;
    if (!lock_name(device, name)) {
        return 0;
    }
    const long held = live_holder(name, false, &stuck);
    return held > 0 ? held : 0;
}
