#pragma once

#include <cstdint>
#include <string>

#include "base/UniqueFd.h"

namespace vantor {

// Where a bound UDP socket comes from. Ports below net.ipv4.ip_unprivileged_port_start (the
// DHCP server's 67, TFTP's 69) need CAP_NET_BIND_SERVICE: the program binds them itself when it
// runs as root, and otherwise its network helper binds them and hands the socket over.
// The sockets are datagram sockets with close-on-exec set; everything else about them is the
// caller's to set.
class UdpPortOpener {
  public:
    virtual ~UdpPortOpener() = default;

    // A socket bound to address:port (network order address, port 0: the system chooses), or
    // an invalid descriptor and errno's value in `error`.
    virtual UniqueFd OpenBound(std::uint32_t address, std::uint16_t port, int& error) = 0;
    // A socket for `port` on the interface `interfaceName`, which holds interfaceAddress:
    // SO_REUSEADDR, SO_BINDTODEVICE and bound to the wildcard address, so that it receives the
    // interface's broadcasts and sockets of other interfaces share the port.
    virtual UniqueFd OpenOnInterface(const std::string& interfaceName,
                                     std::uint32_t interfaceAddress, std::uint16_t port,
                                     int& error) = 0;
    // Whether a socket on that interface, bound to the wildcard address without SO_REUSEADDR,
    // finds the port taken: only sockets that would share the interface's datagrams (bound to
    // no device or to this one) stand in its way. False when it cannot be told.
    virtual bool PortTaken(const std::string& interfaceName, std::uint32_t interfaceAddress,
                           std::uint16_t port) = 0;
};

}  // namespace vantor
