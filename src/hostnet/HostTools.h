#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "base/MessageIcon.h"
#include "base/Timings.h"
#include "hostnet/HostToolBackend.h"
#include "hostnet/NetHelperPort.h"
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
// its tool afresh, composes the command and runs it to its end; a program without privileges
// hands the changes to its network helper instead, which runs the same commands for it. An added
// entry or route, and a deleted route, report whether the change was made, in the tool's words when
// it was not; the ARP deletions say only whether the tool was found. Runs of the route tool
// (listing included) are one at a time under the console's routeLock, held for the run alone; ARP
// runs take no lock. Every operation blocks its caller until the tool has ended and may be called
// from any thread.
class HostTools {
  public:
    // This system's tools (`ip`), run as child processes; the changes through `helper` when
    // one is given (the listing needs no privilege and stays here).
    HostTools(std::mutex& routeLock, const Timings& timings, NetHelperPort* helper = nullptr);
    HostTools(std::mutex& routeLock, std::unique_ptr<HostToolBackend> backend,
              std::unique_ptr<ToolRunner> runner, NetHelperPort* helper = nullptr);

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
    // The host route and the neighbour entries made for ip are the operator's from now on:
    // the network helper leaves them when the program ends and removes the rest it made.
    // Nothing to do for a program that makes its changes itself.
    void Keep(const std::string& ip);
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
    // A change made by the helper; nothing when the arguments are no addresses.
    std::optional<ToolResult> askHelper(HelperRequestKind kind, const std::string& ip,
                                        const std::string& interfaceAddress,
                                        const std::string& mac = {});

    std::mutex& routeLock_;
    std::unique_ptr<HostToolBackend> backend_;
    std::unique_ptr<ToolRunner> runner_;
    NetHelperPort* helper_;
};

}  // namespace vantor
