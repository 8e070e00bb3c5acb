// Writing a whole buffer to a descriptor, through short writes and signals.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <string_view>

namespace vantor {

// Writes all of `text`; false with errno set on a failure.
inline bool writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t done = ::write(fd, text.data(), text.size());
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done <= 0) {
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(done));
    }
    return true;
}

}  // namespace vantor
