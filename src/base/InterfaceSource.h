#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantor {

// The interface table holds this many addresses; further ones are ignored.
inline constexpr std::size_t kMaxInterfaces = 16;
// gethostname's buffer: longer names are cut.
inline constexpr std::size_t kHostNameBufferSize = 100;

// Where the console learns this host's name and IPv4 interface addresses. Tests feed their
// own lists through it.
class InterfaceSource {
  public:
    virtual ~InterfaceSource() = default;
    // The host name, or nothing when it cannot be read.
    virtual std::optional<std::string> hostName() = 0;
    // The IPv4 addresses that count as interfaces, network byte order, in the system's order.
    virtual std::vector<std::uint32_t> addresses() = 0;
};

}  // namespace vantor
