#include "hostnet/HostTools.h"

#include <errno.h>

#include <charconv>
#include <cstring>

#include "base/Ipv4.h"
#include "base/PrintableText.h"

#include "hostnet/LinuxToolBackend.h"
#include "hostnet/SystemToolRunner.h"
#include "hostnet/ToolFailureText.h"

namespace vantor {
namespace {

constexpr std::string_view kNoRoutingTable = "Routing table not found on this machine";
constexpr std::string_view kNoCommand =
    "no interface holds the local address, or an argument is no address";
constexpr std::string_view kHelperName = "vantor-net-helper";
constexpr std::string_view kHelperGone = "vantor-net-helper: not running";

}  // namespace

HostTools::HostTools(std::mutex& routeLock, const Timings& timings, NetHelperPort* helper)
    : HostTools(routeLock, std::make_unique<LinuxToolBackend>(),
                std::make_unique<SystemToolRunner>(timings.runnerPoll), helper) {}

HostTools::HostTools(std::mutex& routeLock, std::unique_ptr<HostToolBackend> backend,
                     std::unique_ptr<ToolRunner> runner, NetHelperPort* helper)
    : routeLock_(routeLock),
      backend_(std::move(backend)),
      runner_(std::move(runner)),
      helper_(helper) {}

bool HostTools::LocateSystemTool(ToolKind kind, std::string& path) const {
    path = backend_->LocateSystemTool(kind).value_or(std::string());
    return !path.empty();
}

ToolResult HostTools::RouteAdd(const std::string& destination, const std::string& gateway) {
    if (helper_ != nullptr) {
        return askHelper(HelperRequestKind::addHostRoute, destination, gateway)
            .value_or(ToolResult{ToolStatus::Failed, std::string(kNoCommand)});
    }
    return change(ToolKind::Route, [&](const std::string& tool) {
        return backend_->RouteAddCommand(tool, destination, gateway);
    });
}

ToolResult HostTools::RouteDelete(const std::string& destination) {
    if (helper_ != nullptr) {
        return askHelper(HelperRequestKind::removeHostRoute, destination, {})
            .value_or(ToolResult{ToolStatus::Failed, std::string(kNoCommand)});
    }
    return change(ToolKind::Route, [&](const std::string& tool) {
        return backend_->RouteDeleteCommand(tool, destination);
    });
}

ToolResult HostTools::ArpAdd(const std::string& ip, const std::string& mac,
                             const std::string& interfaceAddress) {
    if (helper_ != nullptr) {
        return askHelper(HelperRequestKind::plantNeighbour, ip, interfaceAddress, mac)
            .value_or(ToolResult{ToolStatus::Failed, std::string(kNoCommand)});
    }
    return change(ToolKind::Arp, [&](const std::string& tool) {
        return backend_->ArpAddCommand(tool, ip, mac, interfaceAddress);
    });
}

bool HostTools::ArpDelete(const std::string& ip) {
    if (helper_ != nullptr) {
        const auto result = askHelper(HelperRequestKind::removeNeighbour, ip, {});
        return result && !result->toolNotFound();
    }
    return runCommand(ToolKind::Arp, [&](const std::string& tool) {
        return backend_->ArpDeleteCommand(tool, ip);
    });
}

bool HostTools::ArpDeleteOn(const std::string& ip, const std::string& interfaceAddress) {
    if (helper_ != nullptr) {
        const auto result = askHelper(HelperRequestKind::removeNeighbourOn, ip, interfaceAddress);
        return result && !result->toolNotFound();
    }
    return runCommand(ToolKind::Arp, [&](const std::string& tool) {
        return backend_->ArpDeleteOnCommand(tool, ip, interfaceAddress);
    });
}

void HostTools::Keep(const std::string& ip) {
    if (helper_ != nullptr) {
        askHelper(HelperRequestKind::keep, ip, {});
    }
}

std::optional<ToolResult> HostTools::askHelper(HelperRequestKind kind, const std::string& ip,
                                               const std::string& interfaceAddress,
                                               const std::string& mac) {
    HelperRequest request{kind};
    const auto address = Ipv4::parse(ip);
    const auto local =
        interfaceAddress.empty() ? std::optional<std::uint32_t>(0) : Ipv4::parse(interfaceAddress);
    const auto lladdr = mac.empty() ? std::optional<std::string>("00:00:00:00:00:00")
                                    : LinuxToolBackend::LinkLayerAddress(mac);
    if (!address || !local || !lladdr) {
        return std::nullopt;
    }
    request.address = *address;
    request.localAddress = *local;
    // "aa:bb:cc:dd:ee:ff": two hexadecimal digits a byte, checked by LinkLayerAddress.
    for (std::size_t i = 0; i < request.mac.size(); ++i) {
        const char* digits = lladdr->data() + i * 3;
        std::from_chars(digits, digits + 2, request.mac[i], 16);
    }
    const auto answer = helper_->Ask(request, nullptr);
    if (!answer) {
        return ToolResult{ToolStatus::Failed, std::string(kHelperGone)};
    }
    switch (answer->status) {
        case HelperStatus::done:
            return ToolResult{};
        case HelperStatus::refused:
            return ToolResult{ToolStatus::Failed,
                              printableText(std::string(kHelperName) + ": " + answer->text)};
        case HelperStatus::failed:
            break;
    }
    // The helper looks for `ip` where this program would: its absence is the tool's.
    if (answer->error == ENOENT && answer->text.empty()) {
        return ToolResult{ToolStatus::ToolNotFound, {}};
    }
    // The helper words a failed run as this program does: the tool's name and its words.
    return ToolResult{
        ToolStatus::Failed,
        printableText(answer->text.empty() ? std::string(kHelperName) + ": " +
                                                 std::strerror(static_cast<int>(answer->error))
                                           : answer->text)};
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
