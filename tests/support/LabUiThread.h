#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "console/OperatorConsole.h"
#include "netlab/LabNamespace.h"
#include "support/RecordingView.h"

namespace vantor::test {

// The console's user-interface thread in a lab: a thread inside a namespace (the PC's), so
// that the workers it starts open their sockets and run their tools there. The thread makes
// the console from `services`, attaches `view`, initialises it, runs `prepare` (a first mode,
// say) and then serves the console's queue until this object goes, when it shuts the console
// down there. What `services` refers to and `view` must outlive it.
class LabUiThread {
  public:
    using Action = std::function<void(OperatorConsole&)>;

    // Returns once the console is initialised and prepared; rethrows what that threw.
    LabUiThread(const netlab::LabNamespace& space, ConsoleServices services, RecordingView& view,
                Action prepare = {});
    ~LabUiThread();
    LabUiThread(const LabUiThread&) = delete;
    LabUiThread& operator=(const LabUiThread&) = delete;

    // Runs fn on the user-interface thread and waits for it; false when it has not returned
    // within `limit` (a deadlock), which the caller reports. fn may still run after that.
    bool onUi(Action fn, std::chrono::milliseconds limit);

    OperatorConsole& console() { return *console_; }

  private:
    std::unique_ptr<OperatorConsole> console_;
    std::jthread thread_;
};

}  // namespace vantor::test
