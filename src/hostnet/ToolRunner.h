#pragma once

#include <string>

#include "hostnet/HostToolBackend.h"

namespace vantor {

// Runs one tool command to its end and appends what it printed to output. Implementations
// may be called from several threads at once.
class ToolRunner {
  public:
    virtual ~ToolRunner() = default;
    virtual void Run(const ToolCommand& command, std::string& output) = 0;
};

}  // namespace vantor
