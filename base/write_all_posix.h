// Writing a whole buffer to a POSIX file descriptor.
#pragma once

#include <cstddef>

// Writes all n bytes, going on after short writes and after writes a signal interrupted (EINTR).
// False when a write fails, with errno telling why (EIO for a write that took nothing).
bool write_all(int fd, const void* bytes, size_t n);
