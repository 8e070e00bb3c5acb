#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantor {

// What the kernel's IPv4 routing table and neighbour (ARP) table hold for one address, read
// from the calling thread's network namespace without starting a tool: the recovery responder
// looks here before it changes either, so that a flood of requests for what is already in
// place runs no tool at all.
struct KernelNeighbourTables {
    // Whether the main routing table holds the host route (/32) to `destination` (network
    // order) through the interface `interfaceName`. `table` is /proc/net/route's text.
    static bool HasHostRoute(std::string_view table, std::uint32_t destination,
                             std::string_view interfaceName);
    // The hardware address ("02:56:4e:00:00:01", as the kernel prints it) of the permanent
    // neighbour entry of `address` (dotted) on `interfaceName`; nothing when there is none.
    // `table` is /proc/net/arp's text.
    static std::optional<std::string> PermanentEntry(std::string_view table,
                                                     std::string_view address,
                                                     std::string_view interfaceName);

    // The two tables of the calling thread's namespace (empty when unreadable).
    static std::string ReadRouteTable();
    static std::string ReadNeighbourTable();
};

}  // namespace vantor
