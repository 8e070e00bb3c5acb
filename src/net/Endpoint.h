#pragma once

#include <cstdint>

namespace vantor {

// A UDP peer: the IPv4 address in network byte order (as in packets and Ipv4) and the port
// in host byte order.
struct Endpoint {
    std::uint32_t address = 0;
    std::uint16_t port = 0;

    friend bool operator==(const Endpoint&, const Endpoint&) = default;
};

}  // namespace vantor
