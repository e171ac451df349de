// Serial ports on Linux and other POSIX systems, through termios.
//
// A port is used the way Linux serial programs share their lines:
// - its UUCP lock file (port_lock_posix.h) is taken first; a port whose lock a live process
//   holds is not opened at all;
// - it is opened without waiting for a carrier and taken with an advisory lock, which also
//   holds against programs run with privileges;
// - a port that another program has marked exclusive (TIOCEXCL) is left to that program, even
//   where root could open it all the same; otherwise this program marks it, and clears only its
//   own mark again;
// - its line settings are kept, and put back when the port is given back;
// - it is set to raw bytes at 115200 baud, 8 data bits, no parity, one stop bit, no RTS/CTS flow
//   control and no XON/XOFF, which would swallow payload bytes 0x11 and 0x13.
// Waiting is done in poll(), never by spinning.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "link/clock.h"
#include "link/link_timing.h"
#include "link/port_lock_posix.h"
#include "link/port_ops.h"

namespace {

int open_failure(int error) {
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
        return PORT_ABSENT;
    case EACCES:
    case EPERM:
        return PORT_DENIED;
    case EBUSY:
    case EWOULDBLOCK:
        return PORT_BUSY;
    case EISDIR: // a folder given as the port
        return PORT_NOT_SERIAL;
    default:
        return PORT_FAILED;
    }
}

bool set_line(int fd) {
    termios line{};
    if (tcgetattr(fd, &line) != 0) {
        return false;
    }
    cfmakeraw(&line);
    line.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    line.c_cflag |= CS8 | CLOCAL | CREAD;
    line.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    // With O_NONBLOCK these make a read with nothing there fail with EAGAIN, while a read of
    // no bytes means that the line is gone.
    line.c_cc[VMIN] = 1;
    line.c_cc[VTIME] = 0;
    if (cfsetispeed(&line, B115200) != 0 || cfsetospeed(&line, B115200) != 0) {
        return false;
    }
    return tcsetattr(fd, TCSANOW, &line) == 0;
}

// One port in use: what is needed to give it back as it was found.
struct PosixPort {
    int fd;                               // the open device
    termios saved;                        // its line settings before this program changed them
    bool marked;                          // the exclusive mark is this program's own
    char lock_path[PORT_LOCK_PATH_BYTES]; // the lock file taken for it; empty when none
};

PosixPort* port_of(PortHandle port) {
    return reinterpret_cast<PosixPort*>(port);
}

// Reads the terminal's exclusive mark: 1 set, 0 clear, -1 when the system cannot tell.
int exclusive_mark(int fd) {
#ifdef TIOCGEXCL
    int set = 0;
    if (ioctl(fd, TIOCGEXCL, &set) == 0) {
        return set != 0 ? 1 : 0;
    }
#else
    (void)fd;
#endif
    return -1;
}

// Opens the device, takes it and sets its line; the lock file is already taken. Returns a
// PortOpenResult; on failure the device is closed again, untouched.
int open_device(const char* device, PosixPort* p) {
    p->fd = open(device, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (p->fd < 0) {
        return open_failure(errno);
    }
    int result = PORT_OPENED;
    if (!isatty(p->fd)) {
        result = PORT_NOT_SERIAL;
    } else if (flock(p->fd, LOCK_EX | LOCK_NB) != 0) {
        result = errno == EWOULDBLOCK ? PORT_BUSY : PORT_FAILED;
    } else if (exclusive_mark(p->fd) == 1) {
        result = PORT_BUSY; // another program took the terminal for itself
    } else if (ioctl(p->fd, TIOCEXCL) != 0) {
        result = errno == EBUSY ? PORT_BUSY : PORT_NOT_SERIAL;
    } else {
        p->marked = true;
        if (tcgetattr(p->fd, &p->saved) != 0) {
            result = PORT_NOT_SERIAL;
        } else if (!set_line(p->fd)) {
            tcsetattr(p->fd, TCSANOW, &p->saved); // whatever part of the change took
            result = PORT_NOT_SERIAL;
        }
    }
    if (result != PORT_OPENED) {
        if (p->marked) {
            ioctl(p->fd, TIOCNXCL);
        }
        close(p->fd);
    }
    return result;
}

int port_open(void*, const char* name, PortHandle* port) {
    // Links resolved first, so that a /dev/serial/by-id name and the device it leads to share
    // one lock.
    char device[PATH_MAX];
    if (realpath(name, device) == nullptr) {
        return open_failure(errno);
    }
    struct stat st {};
    if (stat(device, &st) != 0) {
        return open_failure(errno);
    }
    if (!S_ISCHR(st.st_mode)) {
        return PORT_NOT_SERIAL;
    }
    PosixPort* p = static_cast<PosixPort*>(calloc(1, sizeof(PosixPort)));
    if (p == nullptr) {
        return PORT_FAILED;
    }
    long holder = 0;
    const int locked = port_lock_take(device, p->lock_path, &holder);
    int result = locked == PORT_LOCK_HELD ? PORT_LOCKED : open_device(device, p);
    if (result != PORT_OPENED) {
        port_lock_release(p->lock_path);
        free(p);
        return result;
    }
    *port = reinterpret_cast<PortHandle>(p);
    return PORT_OPENED;
}

void port_close(void*, PortHandle port) {
    PosixPort* p = port_of(port);
    // The settings go back at once: every request has long left by now (each is followed by
    // the wait for its answer), and a wait for the output to drain could last for ever on a
    // line whose other end reads nothing. Then the mark, which stays on the terminal while
    // anyone else holds it open, is cleared so that the next program can open the port.
    tcsetattr(p->fd, TCSANOW, &p->saved);
    if (p->marked) {
        ioctl(p->fd, TIOCNXCL);
    }
    close(p->fd);
    port_lock_release(p->lock_path);
    free(p);
}

void port_discard(void*, PortHandle port) {
    tcflush(port_of(port)->fd, TCIFLUSH);
}

// Waits for the port to become ready for `events` until the deadline. 1 ready, 0 not by then
// (or interrupted), -1 the port failed.
int wait_port(int fd, short events, int64_t deadline_ms) {
    const int64_t left = deadline_ms - clock_now_ms();
    pollfd p{fd, events, 0};
    const int ready = poll(&p, 1, left > 0 ? static_cast<int>(left) : 0);
    if (ready < 0) {
        return errno == EINTR ? 0 : -1;
    }
    if (ready == 0) {
        return 0;
    }
    if (p.revents & events) {
        return 1;
    }
    return -1; // hung up or failed, with nothing to read
}

bool port_write(void*, PortHandle port, const uint8_t* bytes, size_t n) {
    const int fd = port_of(port)->fd;
    const int64_t deadline = clock_now_ms() + LINK_WRITE_TIMEOUT_MS;
    size_t done = 0;
    while (done < n) {
        const ssize_t put = write(fd, bytes + done, n - done);
        if (put > 0) {
            done += static_cast<size_t>(put);
            continue;
        }
        if (put < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        if (clock_now_ms() >= deadline || wait_port(fd, POLLOUT, deadline) < 0) {
            return false;
        }
    }
    return true;
}

long port_read(void*, PortHandle port, uint8_t* buffer, size_t cap, int64_t deadline_ms) {
    const int fd = port_of(port)->fd;
    if (cap == 0) {
        return 0;
    }
    // What is there already is taken at once; otherwise one wait, then one more read.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const ssize_t got = read(fd, buffer, cap);
        if (got > 0) {
            return static_cast<long>(got);
        }
        if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
            return -1; // end of the line: the other side is gone
        }
        if (attempt == 1) {
            break;
        }
        const int ready = wait_port(fd, POLLIN, deadline_ms);
        if (ready <= 0) {
            return ready;
        }
    }
    return 0;
}

int64_t port_now(void*) {
    return clock_now_ms();
}

const PortOps POSIX_PORT_OPS = {nullptr,    port_open, port_close, port_discard,
                                port_write, port_read, port_now};

} // namespace

const PortOps* port_ops_system() {
    return &POSIX_PORT_OPS;
}
