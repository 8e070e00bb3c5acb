#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/UdpPortOpener.h"

namespace vantor {

// Who else holds a UDP port: a server started with SO_REUSEADDR (dnsmasq, as NetworkManager's
// shared connections and libvirt run it, binds 0.0.0.0:67 so) lets a second socket bind the port
// beside it, and then both answer the same clients.

// The inodes of the sockets in a /proc/net/udp table that are bound to `port` on the wildcard
// address or on `address` (network order): the sockets that receive what arrives there.
// Malformed lines are skipped.
std::vector<std::uint64_t> udpSocketInodes(std::string_view table, std::uint16_t port,
                                           std::uint32_t address);

// The sockets of other processes that hold `port` for the interface `interfaceName` (with the
// IPv4 address interfaceAddress), by inode: the opener's probe, bound to the interface and the
// wildcard address without SO_REUSEADDR, finds the port taken, and the table of the calling
// thread's network namespace names sockets on it that this process does not own. This
// process's own sockets (listeners of other addresses of the interface) and sockets bound to
// other interfaces do not count. Each inode names one rival server, so that it is reported
// once however often it is seen; empty when there is none, or when it cannot be told.
std::vector<std::uint64_t> foreignUdpPortHolders(UdpPortOpener& opener,
                                                 const std::string& interfaceName,
                                                 std::uint32_t interfaceAddress,
                                                 std::uint16_t port);

}  // namespace vantor
