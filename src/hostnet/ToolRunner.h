#pragma once

#include <string>

#include "hostnet/HostToolBackend.h"

namespace vantor {

// Runs one tool command to its end and appends what it printed to output. Implementations
// may be called from several threads at once.
class ToolRunner {
  public:
    virtual ~ToolRunner() = default;
    // True when the tool ran and reported success (exit code 0).
    virtual bool Run(const ToolCommand& command, std::string& output) = 0;
};

}  // namespace vantor
