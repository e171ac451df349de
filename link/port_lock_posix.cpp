// UUCP lock files. A new lock is written completely under a temporary name and then linked to
// its real name, so that no other program ever reads a lock file that is still empty, and two
// programs that try at once cannot both succeed: link() fails for the second. Only that failure
// means that the lock is held. The temporary name is this process's own: a random part, made
// anew while a file of that name exists, so that a file somebody left or planted under a name
// like it (another user's LTMP.<pid> in the shared lock folder, which this user may not remove)
// never stands in the way.
//
// Taking over a stale lock is the delicate part. Two programs may both read the same stale lock
// and both decide to remove it; if the second removes it only after the first has already
// linked its own new lock under that name, the second removes a live lock and then takes the
// device as well. So a stale lock is removed only while this program holds the file with
// flock(), after reading it again through the same open file and checking that the name still
// leads to that very file: of two programs that found it stale, the one that gets hold of it
// second finds the name leading to another file (the first one's new lock) or to none, and
// leaves it alone.
#include "link/port_lock_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
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
constexpr int TAKE_ATTEMPTS = 3;  // another program may take the lock between a look and a link
constexpr int HOLD_ATTEMPTS = 50; // a stale lock another program is busy removing: tries ...
constexpr int HOLD_PAUSE_MS = 2;  // ... this far apart
constexpr int TEMPORARY_ATTEMPTS = 16; // temporary names tried while each is found taken

constexpr long LOCK_ABSENT = -1;     // lock_file_pid: there is no such file
constexpr long LOCK_UNREADABLE = -2; // lock_file_pid: a file that cannot be read
constexpr long HOLDER_UNKNOWN = -1;  // look_at_locks: held, by a process that cannot be named

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

// The process id in an open lock file, read from its start: ten digits as text, or four bytes
// of a binary number as very old programs wrote it. 0 for a file that holds neither;
// LOCK_UNREADABLE.
long lock_fd_pid(int fd) {
    char text[32];
    const ssize_t n = pread(fd, text, sizeof text - 1, 0);
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

int open_lock_file(const char* path) {
    return open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
}

// The process id in the lock file at `path`: as lock_fd_pid, or LOCK_ABSENT.
long lock_file_pid(const char* path) {
    const int fd = open_lock_file(path);
    if (fd < 0) {
        return errno == ENOENT ? LOCK_ABSENT : LOCK_UNREADABLE;
    }
    const long pid = lock_fd_pid(fd);
    close(fd);
    return pid;
}

// A lock of this process's own id that this process did not take (port_lock_take is never
// asked twice for one device) was left by a process long gone that had the same id.
bool process_alive(long pid) {
    return pid > 0 && pid != getpid() && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// What became of a lock file found in a lock folder.
enum LockSeen : int {
    SEEN_NONE,    // there is none, or it was stale and has been removed
    SEEN_HELD,    // a live process holds it (or one that cannot be named)
    SEEN_CHANGED, // another program took it over or removed it meanwhile: look again
    SEEN_STUCK,   // stale, but this user may not remove it
};

// Holds an open lock file with flock() for the short time another program of this kind needs
// to finish its own takeover of it. False when it cannot be had.
bool hold_lock_file(int fd) {
    for (int attempt = 0; attempt < HOLD_ATTEMPTS; ++attempt) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            return true;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            return false;
        }
        poll(nullptr, 0, HOLD_PAUSE_MS);
    }
    return false;
}

// Removes the stale lock open as fd at `path`, unless another program changed it meanwhile.
LockSeen remove_stale(int fd, const char* path) {
    if (!hold_lock_file(fd)) {
        return SEEN_CHANGED; // another program is busy with it: look again
    }
    struct stat held {};
    struct stat named {};
    if (fstat(fd, &held) != 0 || lstat(path, &named) != 0 || held.st_dev != named.st_dev ||
        held.st_ino != named.st_ino) {
        return SEEN_CHANGED;
    }
    const long pid = lock_fd_pid(fd); // once more, now that nobody else can be taking it over
    if (pid == LOCK_UNREADABLE || process_alive(pid)) {
        return SEEN_CHANGED;
    }
    if (unlink(path) != 0 && errno != ENOENT) {
        return SEEN_STUCK;
    }
    return SEEN_NONE;
}

// Looks at the lock at `path`: its live holder in *holder (HOLDER_UNKNOWN when it cannot be
// named), and, with `remove`, a stale one removed.
LockSeen look_at_lock(const char* path, bool remove, long* holder) {
    const int fd = open_lock_file(path);
    if (fd < 0) {
        if (errno == ENOENT) {
            return SEEN_NONE;
        }
        *holder = HOLDER_UNKNOWN;
        return SEEN_HELD;
    }
    const long pid = lock_fd_pid(fd);
    LockSeen seen = SEEN_NONE;
    if (pid == LOCK_UNREADABLE || process_alive(pid)) {
        *holder = pid == LOCK_UNREADABLE ? HOLDER_UNKNOWN : pid;
        seen = SEEN_HELD;
    } else if (remove) {
        seen = remove_stale(fd, path);
    }
    close(fd); // and with it the flock
    return seen;
}

// The device's lock in every lock folder: SEEN_HELD with the live holder's id (or
// HOLDER_UNKNOWN) in *holder, SEEN_CHANGED, SEEN_STUCK, or SEEN_NONE when none is held. With
// `remove`, stale locks are removed on the way.
LockSeen look_at_locks(const char* name, bool remove, long* holder) {
    LockSeen result = SEEN_NONE;
    for (const char* folder : LOCK_FOLDERS) {
        char path[PORT_LOCK_PATH_BYTES];
        if (!lock_path(folder, name, path)) {
            continue;
        }
        const LockSeen seen = look_at_lock(path, remove, holder);
        if (seen == SEEN_HELD || seen == SEEN_CHANGED) {
            return seen;
        }
        if (seen == SEEN_STUCK) {
            result = SEEN_STUCK;
        }
    }
    return result;
}

// 64 bits nobody can guess: from the system's random source, or where it gives none, from the
// clock and a count.
uint64_t random_part() {
    uint64_t bits = 0;
    if (getrandom(&bits, sizeof bits, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof bits)) {
        return bits;
    }
    static uint64_t count = 0;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec)) ^
           (++count * 0x9E3779B97F4A7C15u);
}

// Creates a new file of this process's own in `folder`, LTMP.<pid>.<random>, whose path goes
// into `temporary`. Returns its descriptor, or -1 with errno set; a name found taken is never
// the answer, only another name.
int create_temporary(const char* folder, char temporary[PORT_LOCK_PATH_BYTES]) {
    for (int attempt = 0; attempt < TEMPORARY_ATTEMPTS; ++attempt) {
        const int named =
            snprintf(temporary, PORT_LOCK_PATH_BYTES, "%s/LTMP.%ld.%016llx", folder,
                     static_cast<long>(getpid()), static_cast<unsigned long long>(random_part()));
        if (named < 0 || static_cast<size_t>(named) >= PORT_LOCK_PATH_BYTES) {
            errno = ENAMETOOLONG;
            return -1;
        }
        const int fd = open(temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EIO; // every name taken: not a lock held by anybody
    return -1;
}

// Writes this process's lock under a temporary name in `folder` and links it to `path`.
// Returns 0, or the errno of the step that failed (EEXIST: somebody holds the lock).
int make_lock(const char* folder, const char* path) {
    char temporary[PORT_LOCK_PATH_BYTES];
    const int fd = create_temporary(folder, temporary);
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
        long held = 0;
        const LockSeen seen = look_at_locks(name, true, &held);
        if (seen == SEEN_HELD) {
            *holder = held > 0 ? held : 0;
            return PORT_LOCK_HELD;
        }
        if (seen == SEEN_CHANGED) {
            continue;
        }
        if (seen == SEEN_STUCK) {
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
    long held = 0;
    look_at_locks(name, false, &held);
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
    if (!lock_name(device, name)) {
        return 0;
    }
    long held = 0;
    return look_at_locks(name, false, &held) == SEEN_HELD && held > 0 ? held : 0;
}
