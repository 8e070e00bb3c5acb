#pragma once

#include <string>
#include <vector>

namespace vantor::netlab {

struct CommandResult {
    int exitCode = -1;   // -1 when the program could not be started or was killed
    std::string output;  // standard output and standard error together
};

// Runs a program from an argument vector (no shell, no $PATH search) in the calling thread's
// network namespace and waits for it. The lab's own runner: tests of the product's runner
// must not depend on it.
class LabCommand {
  public:
    static CommandResult Run(const std::vector<std::string>& argv);
    // Like Run, but a failure throws LabError with the command and what it printed.
    static std::string Check(const std::vector<std::string>& argv);
    // iproute2's ip at its usual places; throws when there is none.
    static const std::string& IpTool();
    static std::string Describe(const std::vector<std::string>& argv);
};

}  // namespace vantor::netlab
