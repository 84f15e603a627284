#pragma once
// Small helpers over POSIX descriptors shared by the shell's file code.

#include <cerrno>
#include <cstddef>

#include <unistd.h>

// Writes all `size` bytes, going on after interruptions; false on any error.
inline bool WriteAll(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}
