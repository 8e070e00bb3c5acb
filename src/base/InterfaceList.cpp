#include "base/InterfaceList.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cstring>
#include <memory>
#include <utility>

namespace vantor {
namespace {

// The IPv4 address of a socket address, or 0 for none. The sockaddr is copied rather than
// cast: getifaddrs() hands out sockaddr pointers that need not be sockaddr_in objects.
std::uint32_t ipv4Of(const sockaddr* address) {
    if (address == nullptr) {
        return 0;
    }
    sockaddr_in ipv4{};
    std::memcpy(&ipv4, address, sizeof ipv4);
    return ipv4.sin_addr.s_addr;
}

}  // namespace

std::optional<InterfaceList::Entry> InterfaceList::owning(std::uint32_t address) {
    for (Entry& entry : read()) {
        if (entry.address == address) {
            return std::move(entry);
        }
    }
    return std::nullopt;
}

std::vector<InterfaceList::Entry> InterfaceList::read() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return {};
    }
    const std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> owner(list, &::freeifaddrs);
    return of(list);
}

std::vector<InterfaceList::Entry> InterfaceList::of(const ifaddrs* list) {
    std::vector<Entry> entries;
    for (const ifaddrs* item = list; item != nullptr; item = item->ifa_next) {
        if (item->ifa_addr == nullptr || item->ifa_addr->sa_family != AF_INET ||
            item->ifa_name == nullptr) {
            continue;
        }
        Entry entry;
        entry.name = item->ifa_name;
        entry.index = ::if_nametoindex(item->ifa_name);
        entry.address = ipv4Of(item->ifa_addr);
        entry.netmask = ipv4Of(item->ifa_netmask);
        entry.up = (item->ifa_flags & IFF_UP) != 0;
        entry.loopback = (item->ifa_flags & IFF_LOOPBACK) != 0;
        entry.broadcastCapable = (item->ifa_flags & IFF_BROADCAST) != 0;
        // ifa_broadaddr shares its storage with the peer address of a point-to-point link.
        if (entry.broadcastCapable) {
            entry.broadcast = ipv4Of(item->ifa_broadaddr);
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace vantor
