// The IANA ports of the services the program speaks: BOOTP/DHCP (RFC 2131) and TFTP (RFC 1350).
#pragma once

#include <cstdint>

namespace vantor {

inline constexpr std::uint16_t kDhcpServerPort = 67;
inline constexpr std::uint16_t kDhcpClientPort = 68;
inline constexpr std::uint16_t kTftpPort = 69;

}  // namespace vantor
