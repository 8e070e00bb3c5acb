#pragma once

#include "net/UdpPortOpener.h"

namespace vantor {

// Opens the sockets in this process, with the privileges it has.
class DirectUdpPortOpener final : public UdpPortOpener {
  public:
    // The one every socket uses unless it is handed another.
    static DirectUdpPortOpener& Shared();

    UniqueFd OpenBound(std::uint32_t address, std::uint16_t port, int& error) override;
    UniqueFd OpenOnInterface(const std::string& interfaceName, std::uint32_t interfaceAddress,
                             std::uint16_t port, int& error) override;
    bool PortTaken(const std::string& interfaceName, std::uint32_t interfaceAddress,
                   std::uint16_t port) override;
    // PortTaken's probe: the errno of its bind (EADDRINUSE: taken), or 0 when it was bound.
    static int ProbeBind(const std::string& interfaceName, std::uint16_t port);
};

}  // namespace vantor
