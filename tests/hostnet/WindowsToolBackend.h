#pragma once

#include <functional>
#include <optional>
#include <string>

#include "hostnet/HostToolBackend.h"

namespace vantor {

// The Windows tools: arp.exe and route.exe from the Windows directory, given one command line
// each, and the reformatting of a "route PRINT" listing into tab-separated columns. Nothing
// here touches the system, so all of it is exercised on any platform.
class WindowsToolBackend final : public HostToolBackend {
  public:
    using FileProbe = std::function<bool(const std::string& path)>;

    // windowsDirectory: what the system reports, or nothing when it reports none.
    WindowsToolBackend(std::optional<std::string> windowsDirectory, FileProbe fileExists);

    std::optional<std::string> LocateSystemTool(ToolKind kind) const override;
    std::optional<ToolCommand> RouteAddCommand(const std::string& routeTool,
                                               const std::string& destination,
                                               const std::string& gateway) const override;
    std::optional<ToolCommand> RouteDeleteCommand(const std::string& routeTool,
                                                  const std::string& destination) const override;
    std::optional<ToolCommand> ArpAddCommand(const std::string& arpTool, const std::string& ip,
                                             const std::string& mac,
                                             const std::string& interfaceAddress) const override;
    std::optional<ToolCommand> ArpDeleteCommand(const std::string& arpTool,
                                                const std::string& ip) const override;
    std::optional<ToolCommand> ArpDeleteOnCommand(
        const std::string& arpTool, const std::string& ip,
        const std::string& interfaceAddress) const override;
    ToolCommand RouteListCommand(const std::string& routeTool) const override;
    std::string FormatRoutingTable(const std::string& listing) const override;

    // The route table of a "route PRINT" listing as tab-separated columns; the interface list
    // above it keeps its spaces and everything from "Persistent Routes:" on is dropped.
    static std::string ReformatRoutePrint(std::string listing);

  private:
    std::optional<std::string> windowsDirectory_;
    FileProbe fileExists_;
};

}  // namespace vantor
