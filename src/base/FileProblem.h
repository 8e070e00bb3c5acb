// Why a file named by the operator cannot be used, in the words an operator reads in a log row
// or on a terminal.
#pragma once

#include <optional>
#include <string>

namespace vantor {

// An errno value as a short phrase: "no such file", "permission denied", "is a directory",
// else the system's own text.
std::string fileErrorText(int error);

// Nothing when `path` opens for reading as a regular file; else why not ("no such file",
// "permission denied", "is a directory", "not a regular file").
std::optional<std::string> readableFileProblem(const std::string& path);

}  // namespace vantor
