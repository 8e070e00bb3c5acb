#pragma once

#include "base/Timings.h"
#include "helper/HelperHost.h"

namespace vantor {

// The helper's actions on this system: sockets it opens with the capabilities it holds
// (close-on-exec and non-blocking, as the program uses them), and iproute2's `ip` from its
// fixed paths, never through $PATH or a shell, with CAP_NET_ADMIN handed on to it.
class SystemHelperHost final : public HelperHost {
  public:
    explicit SystemHelperHost(Millis toolPoll) : toolPoll_(toolPoll) {}

    std::vector<InterfaceList::Entry> Interfaces() override;
    HostSocket OpenUdp(std::uint32_t address, std::uint16_t port) override;
    HostSocket OpenUdpOnInterface(const std::string& interfaceName, std::uint16_t port) override;
    int ProbeUdpPort(const std::string& interfaceName, std::uint16_t port) override;
    bool DatagramIcmpAllowed() override;
    HostSocket OpenRawIcmp() override;
    ToolResult RunIp(const std::vector<std::string>& arguments) override;
    std::uint64_t EffectiveCapabilities() override;

  private:
    Millis toolPoll_;
};

}  // namespace vantor
