#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ifaddrs;

namespace vantor {

// The host's IPv4 interface addresses, read with getifaddrs(). Every consumer that needs to
// know which interface owns an address, or which addresses count as interfaces, reads them
// here and applies its own filter.
struct InterfaceList {
    // One IPv4 address of an interface; an interface with two addresses gives two entries.
    // Addresses are in network byte order.
    struct Entry {
        std::string name;
        unsigned index = 0;  // 0 when the name no longer resolves (the interface went away)
        std::uint32_t address = 0;
        std::uint32_t netmask = 0;
        std::uint32_t broadcast = 0;  // 0 unless the interface is broadcast-capable
        bool up = false;
        bool loopback = false;
        bool broadcastCapable = false;
    };

    // The host's IPv4 entries in the kernel's order; empty when they cannot be read.
    static std::vector<Entry> read();
    // The host's first entry that holds the address (network order), or nothing.
    static std::optional<Entry> owning(std::uint32_t address);
    // The IPv4 entries of a list as getifaddrs() builds it, in its order. Entries of other
    // families, and entries without an address or a name, are left out.
    static std::vector<Entry> of(const ifaddrs* list);
};

}  // namespace vantor
