#pragma once

#include "base/Timings.h"
#include "hostnet/ToolRunner.h"

namespace vantor {

// Runs a tool as a child process through a CCommandRunner of its own, with the network
// capabilities this program holds passed on to the child.
class SystemToolRunner final : public ToolRunner {
  public:
    explicit SystemToolRunner(Millis pollInterval) : pollInterval_(pollInterval) {}
    bool Run(const ToolCommand& command, std::string& output) override;

  private:
    Millis pollInterval_;
};

}  // namespace vantor
