#include "assign/AnnouncedAddress.h"

#include <arpa/inet.h>

#include <algorithm>

namespace vantor {
namespace {

constexpr std::uint32_t kClassAMask = 0xFF000000;
constexpr std::uint32_t kThisNetwork = 0x00000000;
constexpr std::uint32_t kLoopbackNetwork = 0x7F000000;
// 224.0.0.0/3: multicast (224/4) and the reserved class E (240/4) together.
constexpr std::uint32_t kMulticastAndReservedMask = 0xE0000000;
constexpr std::uint32_t kMulticastAndReserved = 0xE0000000;
constexpr std::uint32_t kLimitedBroadcast = 0xFFFFFFFF;
// A /31 or /32 has no broadcast address: a netmask with fewer host bits than this has none.
constexpr std::uint32_t kSmallestBroadcastSubnetMask = 0xFFFFFFFC;  // /30

bool contains(std::span<const std::uint32_t> list, std::uint32_t address) {
    return std::find(list.begin(), list.end(), address) != list.end();
}

}  // namespace

AnnouncedAddress::Verdict AnnouncedAddress::judge(std::uint32_t address,
                                                  std::span<const std::uint32_t> ownAddresses,
                                                  std::span<const std::uint32_t> subnetBroadcasts) {
    const std::uint32_t host = ntohl(address);
    if (host == kLimitedBroadcast) {
        return Verdict::LimitedBroadcast;
    }
    if ((host & kClassAMask) == kThisNetwork) {
        return Verdict::Unspecified;
    }
    if ((host & kClassAMask) == kLoopbackNetwork) {
        return Verdict::Loopback;
    }
    if ((host & kMulticastAndReservedMask) == kMulticastAndReserved) {
        return Verdict::MulticastOrReserved;
    }
    if (contains(ownAddresses, address)) {
        return Verdict::OwnAddress;
    }
    if (contains(subnetBroadcasts, address)) {
        return Verdict::SubnetBroadcast;
    }
    return Verdict::Device;
}

std::vector<std::uint32_t> AnnouncedAddress::broadcastsOf(
    std::uint32_t nicAddress, std::span<const InterfaceList::Entry> entries) {
    const auto nic = std::find_if(entries.begin(), entries.end(),
                                  [&](const auto& entry) { return entry.address == nicAddress; });
    if (nic == entries.end()) {
        return {};
    }
    std::vector<std::uint32_t> broadcasts;
    for (const InterfaceList::Entry& entry : entries) {
        if (entry.name != nic->name) {
            continue;
        }
        if (entry.broadcast != 0) {
            broadcasts.push_back(entry.broadcast);
        }
        const std::uint32_t mask = ntohl(entry.netmask);
        if (mask <= kSmallestBroadcastSubnetMask) {
            broadcasts.push_back(htonl(ntohl(entry.address) | ~mask));
        }
    }
    return broadcasts;
}

}  // namespace vantor
