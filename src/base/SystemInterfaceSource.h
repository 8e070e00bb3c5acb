#pragma once

#include "base/InterfaceSource.h"

namespace vantor {

// The host's own interfaces: gethostname() for the name and getifaddrs() for the addresses of
// interfaces that are up and not loopback, in the kernel's order, at most 16. (Resolving the
// host name would only find 127.0.1.1 on a Debian machine.)
class SystemInterfaceSource final : public InterfaceSource {
  public:
    std::optional<std::string> hostName() override;
    std::vector<std::uint32_t> addresses() override;
};

}  // namespace vantor
