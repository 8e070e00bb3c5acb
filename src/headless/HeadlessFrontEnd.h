#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <vector>

#include "base/InterfaceSource.h"
#include "base/Timings.h"
#include "console/AddressFields.h"
#include "headless/CommandLine.h"
#include "ports/BatchUpgrader.h"
#include "ports/WorkerFactory.h"

namespace vantor {

class OperatorConsole;
class NetworkAccess;
class StatusLogFile;

// Runs the console without a window: the same handlers, driven from the command line, with
// the calling thread as the user-interface thread. SIGINT and SIGTERM end the run cleanly.
class HeadlessFrontEnd {
  public:
    // logFile: where every status row is kept as well (or none). network: how the modes reach
    // what needs privileges (none: directly).
    HeadlessFrontEnd(InterfaceSource& interfaces, WorkerFactory& workers, Timings timings = {},
                     StatusLogFile* logFile = nullptr, NetworkAccess* network = nullptr);

    // Blocks SIGINT and SIGTERM for the whole process; call before any other thread starts,
    // so that every thread inherits the mask and the signals arrive through run()'s loop.
    static void blockTerminationSignals();

    // Returns the process exit code.
    int run(const CommandLine& options, std::ostream& out);

    // The field texts a Set types for --mac "00-11-22-33-44-55" and --ip "192.168.1.50". Text
    // of another form gives fields that the validity checks refuse (six "00", four "0"), so
    // that the run reports it as the window would an invalid address.
    static MacTexts macFieldTexts(std::string_view mac);
    static IpTexts ipFieldTexts(std::string_view ip);

    // The summary of a batch: one line per device, then the totals.
    static std::string batchSummary(const std::vector<BatchDeviceStatus>& devices);

  private:
    // A one-shot run (a Set, an Update) as the loop sees it: asked after every turn of the
    // loop, it gives nothing while the run goes on and then the process exit code.
    using OneShot = std::function<std::optional<int>()>;
    // What a one-shot run does when SIGINT or SIGTERM arrives before it has ended: its exit
    // code, once it has wound down.
    using Interrupt = std::function<int()>;
    static OneShot startSet(OperatorConsole& console, const CommandLine& options,
                            std::ostream& out);
    static OneShot startUpdate(OperatorConsole& console, const CommandLine& options,
                               std::ostream& out);
    static OneShot startBatch(OperatorConsole& console, const CommandLine& options,
                              std::ostream& out, Interrupt& interrupt);

    InterfaceSource& interfaces_;
    WorkerFactory& workers_;
    Timings timings_;
    StatusLogFile* logFile_;
    NetworkAccess* network_;
};

}  // namespace vantor
