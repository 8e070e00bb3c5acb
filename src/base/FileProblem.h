// Why a file named by the operator cannot be used, in the words an operator reads in a log row
// or on a terminal; and how such a file is opened and read so that it cannot hang or swamp the
// program.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "base/UniqueFd.h"

namespace vantor {

// An errno value as a short phrase: "no such file", "permission denied", "is a directory",
// else the system's own text.
std::string fileErrorText(int error);

// Why a file of this type cannot be read or written as the operator's file: "is a directory",
// "not a regular file" (a FIFO, a device, a socket); nothing for a regular file.
std::optional<std::string> fileTypeProblem(mode_t mode);

// For a file the program is about to write: nothing when `path` does not exist yet or is a
// regular file; else fileTypeProblem's reason. Only stat()ed, so a FIFO is not opened (which
// would wait for, or disturb, its reader).
std::optional<std::string> writableTargetProblem(const std::string& path);

// Nothing when `path` opens for reading as a regular file; else why not ("no such file",
// "permission denied", "is a directory", "not a regular file").
std::optional<std::string> readableFileProblem(const std::string& path);

// A file named by the operator, opened once for reading. The open does not block (a FIFO with
// no writer would wait for one for ever), and the descriptor itself is checked to be a regular
// file, so that a path swapped for a FIFO or a device after an earlier check is refused too.
struct OpenedFile {
    UniqueFd fd;             // open only when `problem` is empty
    std::uint64_t size = 0;  // the size at the open
    std::string problem;     // as readableFileProblem() words it
};
OpenedFile openRegularFile(const std::string& path);

// The start of a regular file named by the operator, at most `limit` bytes of it. Never more
// than limit + 1 bytes are read, however large the file is or grows while it is read, so that
// a wrong file costs no more memory than a right one.
struct FileStart {
    std::string bytes;    // the first `limit` bytes at most
    bool longer = false;  // the file holds more than `limit` bytes
    std::string problem;  // why it could not be opened or read; or empty
};
FileStart readFileStart(const std::string& path, std::size_t limit);

}  // namespace vantor
