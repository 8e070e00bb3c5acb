// ICMP echo on the wire (RFC 792) inside IPv4 (RFC 791), and the echo requests we send.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor {

inline constexpr int kPingTtl = 30;
inline constexpr int kPingTypeOfService = 0;
inline constexpr bool kPingDontFragment = false;
inline constexpr std::uint8_t kPingDataByte = 'E';
inline constexpr std::size_t kPingReplyOverhead = 28;
// ICMP echo on the wire (RFC 792) inside IPv4 (RFC 791).
inline constexpr std::uint8_t kIpProtocolIcmp = 1;
inline constexpr std::uint8_t kIcmpEchoReply = 0;
inline constexpr std::uint8_t kIcmpEchoRequest = 8;
inline constexpr std::size_t kIcmpEchoHeaderSize = 8;
inline constexpr std::size_t kIpv4MinHeaderSize = 20;
inline constexpr std::size_t kIpv4MaxHeaderSize = 60;

}  // namespace vantor
