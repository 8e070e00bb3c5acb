#include "base/FileProblem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/UniqueFd.h"

namespace vantor {

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

std::optional<std::string> readableFileProblem(const std::string& path) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        return fileErrorText(errno);
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        return fileErrorText(errno);
    }
    if (S_ISDIR(info.st_mode)) {
        return fileErrorText(EISDIR);
    }
    if (!S_ISREG(info.st_mode)) {
        return "not a regular file";
    }
    return std::nullopt;
}

}  // namespace vantor
