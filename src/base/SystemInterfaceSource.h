#pragma once

#include "base/InterfaceList.h"
#include "base/InterfaceSource.h"

namespace vantor {

// The host's own interfaces: gethostname() for the name and getifaddrs() for the addresses of
// interfaces that are up and not loopback, in the kernel's order, at most 16; on a host with
// loopback alone, its address. (Resolving the host name would only find 127.0.1.1 on a Debian
// machine.)
class SystemInterfaceSource final : public InterfaceSource {
  public:
    std::optional<std::string> hostName() override;
    std::vector<std::uint32_t> addresses() override;

    // The addresses that count as interfaces among the entries of an interface list.
    static std::vector<std::uint32_t> usableAddresses(
        const std::vector<InterfaceList::Entry>& entries);
};

}  // namespace vantor
