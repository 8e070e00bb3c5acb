#include "assign/LabConsole.h"

#include <future>

#include "hostnet/LinuxToolBackend.h"
#include "hostnet/SystemToolRunner.h"

namespace vantor::test {

namespace {

// Runs the system's tools and tells the log first.
class LoggingRunner final : public ToolRunner {
  public:
    LoggingRunner(ToolLog& log, Millis poll) : log_(log), runner_(poll) {}
    bool Run(const ToolCommand& command, std::string& output) override {
        log_.add(command);
        return runner_.Run(command, output);
    }

  private:
    ToolLog& log_;
    SystemToolRunner runner_;
};

// The system's backend on a host where only the ARP tool can be found.
class NoRouteToolBackend final : public HostToolBackend {
  public:
    std::optional<std::string> LocateSystemTool(ToolKind kind) const override {
        return kind == ToolKind::Route ? std::nullopt : system_.LocateSystemTool(kind);
    }
    std::optional<ToolCommand> RouteAddCommand(const std::string& tool, const std::string& d,
                                               const std::string& g) const override {
        return system_.RouteAddCommand(tool, d, g);
    }
    std::optional<ToolCommand> RouteDeleteCommand(const std::string& tool,
                                                  const std::string& d) const override {
        return system_.RouteDeleteCommand(tool, d);
    }
    std::optional<ToolCommand> ArpAddCommand(const std::string& tool, const std::string& ip,
                                             const std::string& mac,
                                             const std::string& local) const override {
        return system_.ArpAddCommand(tool, ip, mac, local);
    }
    std::optional<ToolCommand> ArpDeleteCommand(const std::string& tool,
                                                const std::string& ip) const override {
        return system_.ArpDeleteCommand(tool, ip);
    }
    std::optional<ToolCommand> ArpDeleteOnCommand(const std::string& tool, const std::string& ip,
                                                  const std::string& local) const override {
        return system_.ArpDeleteOnCommand(tool, ip, local);
    }
    ToolCommand RouteListCommand(const std::string& tool) const override {
        return system_.RouteListCommand(tool);
    }
    std::string FormatRoutingTable(const std::string& listing) const override {
        return system_.FormatRoutingTable(listing);
    }

  private:
    LinuxToolBackend system_;
};

}  // namespace

void ToolLog::add(const ToolCommand& command) {
    std::string line;
    for (const std::string& word : command) {
        // The tool's directory differs between hosts; its name does not.
        const std::string shown = line.empty() ? word.substr(word.find_last_of('/') + 1) : word;
        line += (line.empty() ? "" : " ") + shown;
    }
    const std::lock_guard lock(mutex_);
    lines_.push_back(line);
}

std::vector<std::string> ToolLog::lines() const {
    const std::lock_guard lock(mutex_);
    return lines_;
}

MakeTools loggedSystemTools(ToolLog& log, bool routeMissing) {
    return [&log, routeMissing](std::mutex& routeLock) {
        std::unique_ptr<HostToolBackend> backend;
        if (routeMissing) {
            backend = std::make_unique<NoRouteToolBackend>();
        } else {
            backend = std::make_unique<LinuxToolBackend>();
        }
        return std::make_unique<HostTools>(routeLock, std::move(backend),
                                           std::make_unique<LoggingRunner>(log, Millis(2)));
    };
}

ConsoleServices LabConsole::services(InterfaceSource& interfaces, WorkerFactory& workers,
                                     Timings timings, MakeTools makeTools) {
    ConsoleServices services{interfaces, workers, timings};
    services.makeTools = std::move(makeTools);
    services.reportPrivileges = false;
    return services;
}

LabConsole::LabConsole(const netlab::LabNamespace& pc, std::vector<std::string> addresses,
                       Timings timings, MakeTools makeTools)
    : interfaces_(std::move(addresses)),
      ui_(pc, services(interfaces_, workers_, timings, std::move(makeTools)), view_) {}

}  // namespace vantor::test
