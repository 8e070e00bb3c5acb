#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantor {

// Who else holds a UDP port: a server started with SO_REUSEADDR (dnsmasq, as NetworkManager's
// shared connections and libvirt run it, binds 0.0.0.0:67 so) lets a second socket bind the port
// beside it, and then both answer the same clients.

// The inodes of the sockets in a /proc/net/udp table that are bound to `port` on the wildcard
// address or on `address` (network order): the sockets that receive what arrives there.
// Malformed lines are skipped.
std::vector<std::uint64_t> udpSocketInodes(std::string_view table, std::uint16_t port,
                                           std::uint32_t address);

// Whether a socket of another process holds `port` for the interface `interfaceName` (with the
// IPv4 address interfaceAddress): a probe bound to the interface and the wildcard address
// without SO_REUSEADDR finds the port taken, and the table of the calling thread's network
// namespace names a socket on it that this process does not own. This process's own sockets
// (listeners of other addresses of the interface) and sockets bound to other interfaces do not
// count. False when it cannot be told.
// The inodes of those sockets of other processes (empty when none, or when it cannot be
// told): each names one rival server, so that it is reported once however often it is seen.
std::vector<std::uint64_t> foreignUdpPortHolders(const std::string& interfaceName,
                                                 std::uint32_t interfaceAddress,
                                                 std::uint16_t port);
bool anotherProcessHoldsUdpPort(const std::string& interfaceName, std::uint32_t interfaceAddress,
                                std::uint16_t port);

}  // namespace vantor
