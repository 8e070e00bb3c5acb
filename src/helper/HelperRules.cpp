#include "helper/HelperRules.h"

#include <arpa/inet.h>

#include <algorithm>
#include <string_view>

#include "base/Ipv4.h"
#include "net/WellKnownPorts.h"

namespace vantor {
namespace {

constexpr unsigned kAddressBits = 32;
constexpr std::uint8_t kMacGroupBit = 0x01;  // IEEE 802: the first byte's low bit

// Blocks no neighbour entry or host route may name, host order, the narrowest first.
struct ReservedBlock {
    std::uint32_t network;
    unsigned prefixLength;
    std::string_view what;
};
constexpr std::array<ReservedBlock, 5> kReservedBlocks{{
    {0xFFFFFFFF, 32, "a broadcast address"},  // limited broadcast, RFC 919
    {0x00000000, 8, "no host's address"},     // "this network", RFC 1122 3.2.1.3
    {0x7F000000, 8, "a loopback address"},    // RFC 1122 3.2.1.3
    {0xE0000000, 4, "a multicast address"},   // RFC 5771
    {0xF0000000, 4, "a reserved address"},    // RFC 1112 section 4
}};

bool inBlock(std::uint32_t host, const ReservedBlock& block) {
    const unsigned shift = kAddressBits - block.prefixLength;
    return (std::uint64_t{host} >> shift) == (std::uint64_t{block.network} >> shift);
}

// The directed broadcast of the entry's subnet; nothing for a /31 or /32, whose every address
// is a host (RFC 3021).
std::optional<std::uint32_t> directedBroadcast(const InterfaceList::Entry& entry) {
    constexpr std::uint32_t kSmallestBroadcastSubnet = 3;  // host part of a /30
    if (ntohl(~entry.netmask) < kSmallestBroadcastSubnet) {
        return std::nullopt;
    }
    return entry.address | ~entry.netmask;
}

}  // namespace

std::optional<std::string> HelperRules::PortRefusal(std::uint16_t port) {
    if (port == kDhcpServerPort || port == kTftpPort) {
        return std::nullopt;
    }
    return "port " + std::to_string(port) + " is not one the modes use";
}

std::optional<InterfaceList::Entry> HelperRules::OwnerOf(
    std::uint32_t address, const std::vector<InterfaceList::Entry>& interfaces) {
    const auto owner =
        std::find_if(interfaces.begin(), interfaces.end(), [&](const InterfaceList::Entry& entry) {
            return entry.address == address && !entry.loopback && entry.index != 0;
        });
    if (owner == interfaces.end()) {
        return std::nullopt;
    }
    return *owner;
}

std::optional<std::string> HelperRules::PeerRefusal(
    std::uint32_t address, const std::vector<InterfaceList::Entry>& interfaces) {
    const std::string shown = Ipv4::format(address);
    for (const InterfaceList::Entry& entry : interfaces) {
        if (entry.address == address) {
            return shown + " is this PC's own address";
        }
        if ((entry.broadcast != 0 && entry.broadcast == address) ||
            directedBroadcast(entry) == address) {
            return shown + " is the broadcast address of " + entry.name;
        }
    }
    for (const ReservedBlock& block : kReservedBlocks) {
        if (inBlock(ntohl(address), block)) {
            return shown + " is " + std::string(block.what);
        }
    }
    return std::nullopt;
}

std::optional<std::string> HelperRules::MacRefusal(const std::array<std::uint8_t, 6>& mac) {
    if ((mac[0] & kMacGroupBit) != 0) {
        return "a multicast MAC is no neighbour's";
    }
    if (std::all_of(mac.begin(), mac.end(), [](std::uint8_t byte) { return byte == 0; })) {
        return "an all-zero MAC is no neighbour's";
    }
    return std::nullopt;
}

std::string HelperRules::MacText(const std::array<std::uint8_t, 6>& mac) {
    constexpr std::string_view kDigits = "0123456789abcdef";
    constexpr unsigned kNibbleBits = 4;
    constexpr std::uint8_t kNibbleMask = 0x0F;
    std::string text;
    for (const std::uint8_t byte : mac) {
        if (!text.empty()) {
            text += ':';
        }
        text += kDigits[byte >> kNibbleBits];
        text += kDigits[byte & kNibbleMask];
    }
    return text;
}

}  // namespace vantor
