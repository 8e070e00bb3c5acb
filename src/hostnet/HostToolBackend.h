#pragma once

#include <optional>
#include <string>
#include <vector>

#include "hostnet/ToolKind.h"

namespace vantor {

// A tool's command: the program's path first, then its arguments. On a platform that starts
// a program from one command line, the whole line is the only element.
using ToolCommand = std::vector<std::string>;

// Where the system's ARP and route tools are and how they are asked to do each job. The
// composers are pure: they read no state but what the backend was given. A composer gives
// nothing when the request cannot be put to the tool at all (an argument that is no address,
// a local address that no interface holds).
class HostToolBackend {
  public:
    virtual ~HostToolBackend() = default;

    // The tool's full path, or nothing (also for a kind that names no tool).
    virtual std::optional<std::string> LocateSystemTool(ToolKind kind) const = 0;

    virtual std::optional<ToolCommand> RouteAddCommand(const std::string& routeTool,
                                                       const std::string& destination,
                                                       const std::string& gateway) const = 0;
    virtual std::optional<ToolCommand> RouteDeleteCommand(const std::string& routeTool,
                                                          const std::string& destination) const = 0;
    virtual std::optional<ToolCommand> ArpAddCommand(const std::string& arpTool,
                                                     const std::string& ip, const std::string& mac,
                                                     const std::string& interfaceAddress) const = 0;
    // Deletes the entries for ip on every interface.
    virtual std::optional<ToolCommand> ArpDeleteCommand(const std::string& arpTool,
                                                        const std::string& ip) const = 0;
    // Deletes the entry for ip on the interface that owns interfaceAddress alone, as ArpAdd
    // planted it; the entries the administrator keeps for other addresses stay.
    virtual std::optional<ToolCommand> ArpDeleteOnCommand(
        const std::string& arpTool, const std::string& ip,
        const std::string& interfaceAddress) const = 0;
    virtual ToolCommand RouteListCommand(const std::string& routeTool) const = 0;
    // Turns the listing tool's output into the text the operator is shown.
    virtual std::string FormatRoutingTable(const std::string& listing) const = 0;
};

}  // namespace vantor
