// Small helpers over POSIX file descriptors, shared by the record files and the trash.
#pragma once

#include <cerrno>
#include <string_view>
#include <unistd.h>

namespace records {

// Closes the descriptor when it goes out of scope; -1 holds nothing.
struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0)
            ::close(fd);
    }
};

// Writes every byte, going on after interrupted and short writes; false with the error otherwise.
inline bool WriteAll(int fd, std::string_view bytes, int& error) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace records
