#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdint>

#include "net/Endpoint.h"

namespace vantor {

// An IPv4 address (network order) and port (host order) as the socket calls take them.
inline sockaddr_in socketAddress(std::uint32_t address, std::uint16_t port) {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_addr.s_addr = address;
    result.sin_port = htons(port);
    return result;
}

inline Endpoint endpointOf(const sockaddr_in& address) {
    return Endpoint{address.sin_addr.s_addr, ntohs(address.sin_port)};
}

}  // namespace vantor
