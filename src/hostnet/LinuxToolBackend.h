#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hostnet/HostToolBackend.h"

namespace vantor {

// The Linux tools: iproute2's `ip` does the work of both the ARP and the route tool. It is looked
// for at fixed paths only, never through $PATH, since the program may run with raised
// privileges. ARP entries and routes are tied to the interface that owns the local address
// the caller names.
class LinuxToolBackend final : public HostToolBackend {
  public:
    using FileProbe = std::function<bool(const std::string& path)>;
    // The name of the interface that holds a local IPv4 address (network order), if any.
    using InterfaceLookup = std::function<std::optional<std::string>(std::uint32_t address)>;

    // The system's own `ip` and interfaces.
    LinuxToolBackend();
    LinuxToolBackend(std::vector<std::string> toolPaths, FileProbe isExecutable,
                     InterfaceLookup interfaceOwning);

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

    // "ip -4 route show" output as tab-separated columns under a header line. Lines that are
    // no route (a message of the tool) are kept as they are; no output gives no text.
    static std::string ReformatRouteListing(std::string_view listing);
    // "00-11-22-33-44-55" (or with colons) as "00:11:22:33:44:55"; nothing for anything else.
    static std::optional<std::string> LinkLayerAddress(std::string_view mac);

    static bool IsExecutableFile(const std::string& path);
    static std::optional<std::string> SystemInterfaceOwning(std::uint32_t address);

  private:
    std::vector<std::string> toolPaths_;
    FileProbe isExecutable_;
    InterfaceLookup interfaceOwning_;
};

}  // namespace vantor
