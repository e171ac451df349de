#include "emulator/emu_store.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

EmuStoreResult emu_store_load(const char* path, uint8_t payload[EMU_SETTINGS_BYTES]) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT ? EMU_STORE_ABSENT : EMU_STORE_INVALID;
    }
    uint8_t buffer[EMU_SETTINGS_BYTES + 1];
    size_t total = 0;
    while (total < sizeof buffer) {
        ssize_t n = read(fd, buffer + total, sizeof buffer - total);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        total += static_cast<size_t>(n);
    }
    close(fd);
    if (total != EMU_SETTINGS_BYTES) {
        return EMU_STORE_INVALID;
    }
    memcpy(payload, buffer, EMU_SETTINGS_BYTES);
    return EMU_STORE_LOADED;
}

static int write_all(int fd, const uint8_t* data, size_t count) {
    size_t done = 0;
    while (done < count) {
        ssize_t n = write(fd, data + done, count - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return -1;
        }
        done += static_cast<size_t>(n);
    }
    return 0;
}

int emu_store_save(const char* path, const uint8_t payload[EMU_SETTINGS_BYTES]) {
    char temporary[PATH_MAX];
    int n = snprintf(temporary, sizeof temporary, "%s.tmp.%ld", path, static_cast<long>(getpid()));
    if (n < 0 || static_cast<size_t>(n) >= sizeof temporary) {
        return -1;
    }
    int fd = open(temporary, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return -1;
    }
    bool ok = write_all(fd, payload, EMU_SETTINGS_BYTES) == 0 && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temporary, path) != 0) {
        unlink(temporary);
        return -1;
    }
    return 0;
}
