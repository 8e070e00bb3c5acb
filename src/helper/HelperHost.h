#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/InterfaceList.h"
#include "base/UniqueFd.h"
#include "hostnet/ToolResult.h"

namespace vantor {

// A socket the host opened, or the errno of the call that failed.
struct HostSocket {
    UniqueFd descriptor;
    int error = 0;
};

// What the network helper does with its capabilities, and what it reads of the host to judge
// a request. NetHelperService decides; this does. Tests put a fake in its place and run as
// any user.
class HelperHost {
  public:
    virtual ~HelperHost() = default;

    // The host's IPv4 interface addresses, read afresh.
    virtual std::vector<InterfaceList::Entry> Interfaces() = 0;
    // A UDP socket bound to address:port (network order address).
    virtual HostSocket OpenUdp(std::uint32_t address, std::uint16_t port) = 0;
    // A UDP socket for port on the named interface alone: SO_REUSEADDR, SO_BINDTODEVICE,
    // bound to the wildcard address.
    virtual HostSocket OpenUdpOnInterface(const std::string& interfaceName, std::uint16_t port) = 0;
    // The errno of binding port on the named interface without SO_REUSEADDR: EADDRINUSE when
    // another socket would share the interface's datagrams, 0 when the bind succeeded.
    virtual int ProbeUdpPort(const std::string& interfaceName, std::uint16_t port) = 0;
    // Whether this process may open a datagram ICMP socket (net.ipv4.ping_group_range).
    virtual bool DatagramIcmpAllowed() = 0;
    virtual HostSocket OpenRawIcmp() = 0;
    // iproute2's `ip` with these arguments, waited for; a failure carries the tool's words.
    virtual ToolResult RunIp(const std::vector<std::string>& arguments) = 0;
    // The helper's effective capabilities, one bit per capability number.
    virtual std::uint64_t EffectiveCapabilities() = 0;
};

}  // namespace vantor
