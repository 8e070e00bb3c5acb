#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/DeviceWorkerFactory.h"
#include "console/OperatorConsole.h"
#include "hostnet/HostTools.h"
#include "netlab/LabNamespace.h"
#include "support/Eventually.h"
#include "support/FakeInterfaceSource.h"
#include "support/LabUiThread.h"
#include "support/RecordingView.h"

namespace vantor::test {

using namespace std::chrono_literals;

using MakeTools = std::function<std::unique_ptr<HostTools>(std::mutex& routeLock)>;

// Every command the console's ARP and route operations ran, in order, as one line each
// ("ip neigh replace 10.0.2.50 lladdr ..."), for tests that check what was done when.
class ToolLog {
  public:
    void add(const ToolCommand& command);
    std::vector<std::string> lines() const;

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// The system's tools, run for real in the calling thread's namespace and logged; with
// routeMissing the route tool is not found (the ARP tool still is).
MakeTools loggedSystemTools(ToolLog& log, bool routeMissing = false);

// A console with the product's workers, real ICMP echo and real tools, whose user-interface
// thread runs inside a lab namespace (the PC's) and serves the console's queue. The console
// sees the given interface addresses. It is initialised, so it starts in Auto, listening.
class LabConsole {
  public:
    LabConsole(const netlab::LabNamespace& pc, std::vector<std::string> addresses, Timings timings,
               MakeTools makeTools = {});
    LabConsole(const LabConsole&) = delete;
    LabConsole& operator=(const LabConsole&) = delete;

    // How long a test waits (with eventually()) for what a device or the console brings about.
    static constexpr std::chrono::milliseconds kPatience{10000};

    // Runs fn on the user-interface thread and waits for it; false when it did not end in
    // time (a deadlock), which the caller reports.
    bool onUi(std::function<void(OperatorConsole&)> fn, std::chrono::milliseconds limit = 20s) {
        return ui_.onUi(std::move(fn), limit);
    }

    OperatorConsole& console() { return ui_.console(); }
    RecordingView& view() { return view_; }
    std::vector<std::string> rows() { return view_.rows(); }
    std::string field(ControlId id) { return console().panel().text(id); }

  private:
    static ConsoleServices services(InterfaceSource& interfaces, WorkerFactory& workers,
                                    Timings timings, MakeTools makeTools);

    FakeInterfaceSource interfaces_;
    DeviceWorkerFactory workers_;
    RecordingView view_;
    LabUiThread ui_;
};

}  // namespace vantor::test
