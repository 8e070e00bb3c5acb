#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "base/MessageIcon.h"
#include "base/Timings.h"
#include "hostnet/HostToolBackend.h"
#include "hostnet/ToolKind.h"
#include "hostnet/ToolResult.h"
#include "hostnet/ToolRunner.h"

namespace vantor {

// What the "Routing table detail" button shows.
struct RoutingTableBox {
    std::string text;
    MessageIcon icon = MessageIcon::None;
};

// The ARP cache and routing table operations of the console. Each command operation locates
// its tool afresh, composes the command and runs it to its end. An added entry or route, and
// a deleted route, report whether the change was made, in the tool's words when it was not;
// the ARP deletions say only whether the tool was found. Runs of the route tool (listing
// included) are one at a time under the console's routeLock, held for the run alone; ARP runs
// take no lock. Every operation blocks its caller until the tool has ended and may be called
// from any thread.
class HostTools {
  public:
    // This system's tools (`ip`), run as child processes.
    HostTools(std::mutex& routeLock, const Timings& timings);
    HostTools(std::mutex& routeLock, std::unique_ptr<HostToolBackend> backend,
              std::unique_ptr<ToolRunner> runner);

    // True and the full path when found; false and an empty path otherwise.
    bool LocateSystemTool(ToolKind kind, std::string& path) const;
    ToolResult RouteAdd(const std::string& destination, const std::string& gateway);
    ToolResult RouteDelete(const std::string& destination);
    // mac as six two-digit groups joined by "-"; interfaceAddress one of our own addresses.
    ToolResult ArpAdd(const std::string& ip, const std::string& mac,
                      const std::string& interfaceAddress);
    // Deletes the entries for ip on every interface.
    bool ArpDelete(const std::string& ip);
    // Deletes the entry for ip on the interface that owns interfaceAddress, the one ArpAdd
    // planted there; every other entry stays.
    bool ArpDeleteOn(const std::string& ip, const std::string& interfaceAddress);
    // The route listing as shown to the operator; empty when the tool is missing or printed
    // nothing.
    std::string LoadRoutingTable();
    // Loads the listing and words the message box for it.
    RoutingTableBox ShowRoutingTable();
    static RoutingTableBox RoutingTableMessage(const std::string& routingTableText);

  private:
    using Composer = std::function<std::optional<ToolCommand>(const std::string& toolPath)>;
    ToolResult change(ToolKind kind, const Composer& compose);
    bool runCommand(ToolKind kind, const Composer& compose);
    bool run(ToolKind kind, const ToolCommand& command, std::string& output);

    std::mutex& routeLock_;
    std::unique_ptr<HostToolBackend> backend_;
    std::unique_ptr<ToolRunner> runner_;
};

}  // namespace vantor
