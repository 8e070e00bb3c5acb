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
#include "hostnet/ToolRunner.h"

namespace vantor {

// What the "Routing table detail" button shows.
struct RoutingTableBox {
    std::string text;
    MessageIcon icon = MessageIcon::None;
};

// The ARP cache and routing table operations of the console. Each command operation locates
// its tool afresh, composes the command, runs it to its end and discards its output; the
// result says only whether the tool was found and run. Runs of the route tool (listing
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
    bool RouteAdd(const std::string& destination, const std::string& gateway);
    bool RouteDelete(const std::string& destination);
    // mac as six two-digit groups joined by "-"; interfaceAddress one of our own addresses.
    bool ArpAdd(const std::string& ip, const std::string& mac, const std::string& interfaceAddress);
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
    bool runCommand(ToolKind kind, const Composer& compose);
    void run(ToolKind kind, const ToolCommand& command, std::string& output);

    std::mutex& routeLock_;
    std::unique_ptr<HostToolBackend> backend_;
    std::unique_ptr<ToolRunner> runner_;
};

}  // namespace vantor
