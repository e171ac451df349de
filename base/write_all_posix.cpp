#include "base/write_all_posix.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>

bool write_all(int fd, const void* bytes, size_t n) {
    const uint8_t* at = static_cast<const uint8_t*>(bytes);
    size_t done = 0;
    while (done < n) {
        const ssize_t put = write(fd, at + done, n - done);
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
