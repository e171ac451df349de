#include "emulator/emu_pty.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

int emu_pty_open(EmuPty* pty) {
    pty->master = -1;
    pty->path[0] = '\0';
    pty->peer_open = false;
    int fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    char name[sizeof pty->path];
    // On Linux the terminal settings asked of the master are those of the device side.
    struct termios t;
    if (grantpt(fd) != 0 || unlockpt(fd) != 0 || ptsname_r(fd, name, sizeof name) != 0 ||
        tcgetattr(fd, &t) != 0) {
        close(fd);
        return -1;
    }
    cfmakeraw(&t);
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
    if (tcsetattr(fd, TCSANOW, &t) != 0 ||
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) != 0) {
        close(fd);
        return -1;
    }
    // A master whose device side was never opened does not report a hang-up; opening and
    // closing the device side once puts it in the state it returns to after every user.
    int device = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (device < 0) {
        close(fd);
        return -1;
    }
    close(device);
    pty->master = fd;
    memcpy(pty->path, name, sizeof name);
    return 0;
}

void emu_pty_close(EmuPty* pty) {
    if (pty->master >= 0) {
        close(pty->master);
    }
    pty->master = -1;
    pty->peer_open = false;
}

bool emu_pty_peer_present(const EmuPty* pty) {
    if (pty->master < 0) {
        return false;
    }
    struct pollfd p = {pty->master, POLLIN, 0};
    if (poll(&p, 1, 0) < 0) {
        return false;
    }
    return (p.revents & POLLHUP) == 0;
}

void emu_pty_flush_output(const EmuPty* pty) {
    if (pty->master < 0) {
        return;
    }
    // Bytes written to the master wait first in the device side's receive buffer and are then
    // moved, by the kernel in its own time, into its line discipline. Flushing the master's
    // output drops the former; the latter is flushed through the device side itself, opened
    // for that moment.
    tcflush(pty->master, TCOFLUSH);
    int device = open(pty->path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (device >= 0) {
        tcflush(device, TCIFLUSH);
        close(device);
    }
}

int emu_symlink_replace(const char* target, const char* link) {
    struct stat st;
    if (lstat(link, &st) == 0 && !S_ISLNK(st.st_mode)) {
        errno = EEXIST;
        return -1;
    }
    char temporary[PATH_MAX];
    int n = snprintf(temporary, sizeof temporary, "%s.new.%ld", link, static_cast<long>(getpid()));
    if (n < 0 || static_cast<size_t>(n) >= sizeof temporary) {
        errno = ENAMETOOLONG;
        return -1;
    }
    unlink(temporary);
    if (symlink(target, temporary) != 0) {
        return -1;
    }
    if (rename(temporary, link) != 0) {
        int saved = errno;
        unlink(temporary);
        errno = saved;
        return -1;
    }
    return 0;
}

void emu_symlink_remove_if(const char* link, const char* target) {
    char current[PATH_MAX];
    ssize_t n = readlink(link, current, sizeof current - 1);
    if (n < 0) {
        return;
    }
    current[n] = '\0';
    if (strcmp(current, target) == 0) {
        unlink(link);
    }
}
