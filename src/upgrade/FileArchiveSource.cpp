#include "upgrade/FileArchiveSource.h"

#include <unistd.h>

#include <cerrno>
#include <limits>

#include "base/FileProblem.h"

namespace vantor {

std::unique_ptr<FileArchiveSource> FileArchiveSource::open(const std::string& path) {
    // The path may have become a FIFO or a device since the operator chose it: such a file
    // neither blocks the open nor gets read.
    OpenedFile file = openRegularFile(path);
    if (!file.problem.empty()) {
        return nullptr;
    }
    return std::make_unique<FileArchiveSource>(Key{}, file.fd.release(), file.size);
}

FileArchiveSource::~FileArchiveSource() {
    ::close(fd_);
}

std::optional<std::size_t> FileArchiveSource::readAt(std::uint64_t offset,
                                                     std::span<std::uint8_t> buffer) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        const std::uint64_t at = offset + done;
        if (at > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
            break;  // past any file this system can hold: the end
        }
        const ssize_t got =
            ::pread(fd_, buffer.data() + done, buffer.size() - done, static_cast<off_t>(at));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

}  // namespace vantor
