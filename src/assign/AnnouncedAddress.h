#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/InterfaceList.h"

namespace vantor {

// Whether the address a datagram on the announcement port names can be a device's. Anything
// on the network may send to port 1810; an address that is no unicast host of another
// machine would get a host route, an echo and the banner, and would take the place of the
// device the installer is waiting for. Addresses in network byte order.
struct AnnouncedAddress {
    enum class Verdict {
        Device,
        Unspecified,          // 0.0.0.0/8, "this network" (RFC 1122 3.2.1.3)
        Loopback,             // 127.0.0.0/8 (RFC 1122 3.2.1.3)
        MulticastOrReserved,  // 224.0.0.0/4 (RFC 5771) and 240.0.0.0/4 (RFC 1112 section 4)
        LimitedBroadcast,     // 255.255.255.255 (RFC 919)
        SubnetBroadcast,      // the directed broadcast of the receiving interface (RFC 922)
        OwnAddress,           // one of the PC's own addresses
    };

    // A device's address may lie on any subnet, the PC's or none of them (a factory address,
    // reached through the host route); only these are refused.
    static Verdict judge(std::uint32_t address, std::span<const std::uint32_t> ownAddresses,
                         std::span<const std::uint32_t> subnetBroadcasts);

    // The broadcast addresses of the interface that holds nicAddress, over all its addresses:
    // the one the kernel reports and the one its netmask gives (none for a /31 or /32, whose
    // every address is a host, RFC 3021).
    static std::vector<std::uint32_t> broadcastsOf(std::uint32_t nicAddress,
                                                   std::span<const InterfaceList::Entry> entries);
};

}  // namespace vantor
