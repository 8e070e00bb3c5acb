#pragma once

#include "hostnet/NetHelperPort.h"
#include "net/UdpPortOpener.h"

namespace vantor {

// Asks the network helper for the sockets of the ports it binds (the DHCP server's and
// TFTP's); every other port is opened in this process, which needs no privilege for it.
class HelperUdpPortOpener final : public UdpPortOpener {
  public:
    explicit HelperUdpPortOpener(NetHelperPort& helper) : helper_(helper) {}

    UniqueFd OpenBound(std::uint32_t address, std::uint16_t port, int& error) override;
    UniqueFd OpenOnInterface(const std::string& interfaceName, std::uint32_t interfaceAddress,
                             std::uint16_t port, int& error) override;
    bool PortTaken(const std::string& interfaceName, std::uint32_t interfaceAddress,
                   std::uint16_t port) override;

  private:
    UniqueFd open(HelperRequestKind kind, std::uint32_t address, std::uint16_t port, int& error);

    NetHelperPort& helper_;
};

}  // namespace vantor
