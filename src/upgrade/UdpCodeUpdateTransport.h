#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/UniqueFd.h"
#include "upgrade/CodeUpdateTransport.h"

namespace vantor {

// The code update protocol's socket: UDP, bound to any local address and a port the system
// chooses, sending to the device's port 69 and taking replies from any sender. An ICMP port
// unreachable for the device's port fails the next receive at once.
class UdpCodeUpdateTransport final : public CodeUpdateTransport {
  public:
    // None when the address is not dotted decimal or the socket cannot be made or bound.
    // wakeFd (or -1): a descriptor that becomes readable to end a wait early.
    static std::unique_ptr<UdpCodeUpdateTransport> open(const std::string& deviceIp,
                                                        std::uint16_t port, int wakeFd);

    bool send(std::span<const std::uint8_t> datagram) override;
    int receive(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) override;

  private:
    struct Key {};  // only open() makes one

  public:
    UdpCodeUpdateTransport(Key, UniqueFd socket, std::uint32_t address, std::uint16_t port,
                           int wakeFd);

  private:
    UniqueFd socket_;
    std::uint32_t address_;  // network order
    std::uint16_t port_;
    int wakeFd_;
};

}  // namespace vantor
