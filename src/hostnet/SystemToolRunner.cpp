#include "hostnet/SystemToolRunner.h"

#include "hostnet/AmbientCapabilityScope.h"
#include "hostnet/CCommandRunner.h"
#include "hostnet/Capabilities.h"

namespace vantor {

bool SystemToolRunner::Run(const ToolCommand& command, std::string& output) {
    // A program given file capabilities instead of running as root must hand them to `ip`
    // explicitly; they are raised for this thread only while the tool runs.
    const AmbientCapabilityScope capabilities(Capabilities::kNetAdmin);
    CCommandRunner runner(command, output, std::nullopt, pollInterval_);
    runner.Run();
    return runner.exitCode() == 0;
}

}  // namespace vantor
