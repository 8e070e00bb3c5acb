#include "hostnet/HostTools.h"

#include "hostnet/LinuxToolBackend.h"
#include "hostnet/SystemToolRunner.h"
#include "hostnet/ToolFailureText.h"

namespace vantor {
namespace {

constexpr std::string_view kNoRoutingTable = "Routing table not found on this machine";
constexpr std::string_view kNoCommand =
    "no interface holds the local address, or an argument is no address";

}  // namespace

HostTools::HostTools(std::mutex& routeLock, const Timings& timings)
    : HostTools(routeLock, std::make_unique<LinuxToolBackend>(),
                std::make_unique<SystemToolRunner>(timings.runnerPoll)) {}

HostTools::HostTools(std::mutex& routeLock, std::unique_ptr<HostToolBackend> backend,
                     std::unique_ptr<ToolRunner> runner)
    : routeLock_(routeLock), backend_(std::move(backend)), runner_(std::move(runner)) {}

bool HostTools::LocateSystemTool(ToolKind kind, std::string& path) const {
    path = backend_->LocateSystemTool(kind).value_or(std::string());
    return !path.empty();
}

ToolResult HostTools::RouteAdd(const std::string& destination, const std::string& gateway) {
    return change(ToolKind::Route, [&](const std::string& tool) {
        return backend_->RouteAddCommand(tool, destination, gateway);
    });
}

ToolResult HostTools::RouteDelete(const std::string& destination) {
    return change(ToolKind::Route, [&](const std::string& tool) {
        return backend_->RouteDeleteCommand(tool, destination);
    });
}

ToolResult HostTools::ArpAdd(const std::string& ip, const std::string& mac,
                             const std::string& interfaceAddress) {
    return change(ToolKind::Arp, [&](const std::string& tool) {
        return backend_->ArpAddCommand(tool, ip, mac, interfaceAddress);
    });
}

bool HostTools::ArpDelete(const std::string& ip) {
    return runCommand(ToolKind::Arp, [&](const std::string& tool) {
        return backend_->ArpDeleteCommand(tool, ip);
    });
}

bool HostTools::ArpDeleteOn(const std::string& ip, const std::string& interfaceAddress) {
    return runCommand(ToolKind::Arp, [&](const std::string& tool) {
        return backend_->ArpDeleteOnCommand(tool, ip, interfaceAddress);
    });
}

std::string HostTools::LoadRoutingTable() {
    std::string tool;
    if (!LocateSystemTool(ToolKind::Route, tool)) {
        return {};
    }
    std::string listing;
    run(ToolKind::Route, backend_->RouteListCommand(tool), listing);
    return backend_->FormatRoutingTable(listing);
}

RoutingTableBox HostTools::ShowRoutingTable() {
    return RoutingTableMessage(LoadRoutingTable());
}

RoutingTableBox HostTools::RoutingTableMessage(const std::string& routingTableText) {
    if (routingTableText.empty()) {
        return {std::string(kNoRoutingTable), MessageIcon::Exclamation};
    }
    return {routingTableText, MessageIcon::Information};
}

ToolResult HostTools::change(ToolKind kind, const Composer& compose) {
    std::string tool;
    if (!LocateSystemTool(kind, tool)) {
        return {ToolStatus::ToolNotFound, {}};
    }
    const auto command = compose(tool);
    if (!command) {
        return {ToolStatus::Failed, std::string(kNoCommand)};
    }
    std::string output;
    if (run(kind, *command, output)) {
        return {};
    }
    return {ToolStatus::Failed, ToolFailureText(*command, output)};
}

bool HostTools::runCommand(ToolKind kind, const Composer& compose) {
    std::string tool;
    if (!LocateSystemTool(kind, tool)) {
        return false;
    }
    // A deletion that finds nothing to delete is no failure the caller could act on: the
    // result says only whether the tool was found.
    if (const auto command = compose(tool)) {
        std::string output;  // nobody reads what the tool says
        run(kind, *command, output);
    }
    return true;
}

bool HostTools::run(ToolKind kind, const ToolCommand& command, std::string& output) {
    if (kind == ToolKind::Route) {
        const std::lock_guard<std::mutex> routeRun(routeLock_);
        return runner_->Run(command, output);
    }
    return runner_->Run(command, output);
}

}  // namespace vantor
