#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantor {

// The PC's interface addresses as the console last read them.
class InterfaceTable {
  public:
    virtual ~InterfaceTable() = default;

    // Reads the addresses afresh; false when the host name cannot be read (the table is
    // then left as it was).
    virtual bool refresh() = 0;
    // Dotted addresses, in the system's order; none on a host with only loopback.
    virtual std::vector<std::string> addresses() const = 0;
    virtual int count() const = 0;
    // ">" on a host with at most one interface address, else "> [NIC a.b.c.d]" (nic in
    // network byte order).
    virtual std::string prefixFor(std::uint32_t nic) const = 0;
    // This host's name, or nothing when it cannot be read.
    virtual std::optional<std::string> hostName() const = 0;
};

}  // namespace vantor
