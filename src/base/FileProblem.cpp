#include "base/FileProblem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace vantor {

namespace {

constexpr const char* kNotARegularFile = "not a regular file";

}  // namespace

std::string fileErrorText(int error) {
    switch (error) {
        case ENOENT:
            return "no such file";
        case EACCES:
        case EPERM:
            return "permission denied";
        case EISDIR:
            return "is a directory";
        case ENOTDIR:
            return "a part of the path is not a directory";
        default:
            return std::strerror(error);
    }
}

std::optional<std::string> fileTypeProblem(mode_t mode) {
    if (S_ISREG(mode)) {
        return std::nullopt;
    }
    return S_ISDIR(mode) ? fileErrorText(EISDIR) : std::string(kNotARegularFile);
}

std::optional<std::string> writableTargetProblem(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;  // made when it is written; the write says what stops it
    }
    return fileTypeProblem(info.st_mode);
}

OpenedFile openRegularFile(const std::string& path) {
    OpenedFile file;
    file.fd.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat info {};
    if (!file.fd || ::fstat(file.fd.get(), &info) != 0) {
        file.problem = fileErrorText(errno);
    } else if (const auto problem = fileTypeProblem(info.st_mode)) {
        file.problem = *problem;
    } else if (info.st_size < 0) {
        file.problem = kNotARegularFile;
    }
    if (!file.problem.empty()) {
        file.fd.reset();
        return file;
    }
    file.size = static_cast<std::uint64_t>(info.st_size);
    return file;
}

std::optional<std::string> readableFileProblem(const std::string& path) {
    OpenedFile file = openRegularFile(path);
    if (file.problem.empty()) {
        return std::nullopt;
    }
    return std::move(file.problem);
}

FileStart readFileStart(const std::string& path, std::size_t limit) {
    FileStart start;
    const OpenedFile file = openRegularFile(path);
    if (!file.problem.empty()) {
        start.problem = file.problem;
        return start;
    }
    // One byte past the limit tells a file of exactly `limit` bytes from a longer one. The size
    // at the open is no bound: a file can grow, and some (under /proc) say 0 and hold more.
    start.bytes.resize(limit + 1);
    std::size_t filled = 0;
    while (filled < start.bytes.size()) {
        const ssize_t got =
            ::read(file.fd.get(), start.bytes.data() + filled, start.bytes.size() - filled);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            start.problem = fileErrorText(errno);
            start.bytes.clear();
            return start;
        }
        if (got == 0) {
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    start.longer = filled > limit;
    start.bytes.resize(start.longer ? limit : filled);
    return start;
}

}  // namespace vantor
