#include "recovery/FileSource.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantor {

std::unique_ptr<FileSource> FileSource::Open(const std::string& path) {
    // O_NONBLOCK so that opening a FIFO does not wait for a writer; it is refused below.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd) {
        return nullptr;
    }
    struct stat status {};
    if (fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return nullptr;
    }
    return std::make_unique<FileSource>(std::move(fd), static_cast<std::uint64_t>(status.st_size));
}

std::optional<std::size_t> FileSource::read(std::span<std::uint8_t> out) {
    std::size_t filled = 0;
    while (filled < out.size()) {
        const ssize_t count = ::read(fd_.get(), out.data() + filled, out.size() - filled);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        if (count == 0) {
            break;
        }
        filled += static_cast<std::size_t>(count);
    }
    return filled;
}

}  // namespace vantor
