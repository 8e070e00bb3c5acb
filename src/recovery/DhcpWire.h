// BOOTP/DHCP on the wire (RFC 951, RFC 2131, RFC 2132) and the responder's fixed answers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "net/WellKnownPorts.h"

namespace vantor {

inline constexpr std::size_t kDhcpReceiveSize = 1458;
inline constexpr std::size_t kDhcpMinimumSize = 236;
inline constexpr std::size_t kDhcpReplySize = 270;
inline constexpr std::uint8_t kBootRequest = 1;
inline constexpr std::uint8_t kBootReply = 2;
inline constexpr std::size_t kDhcpOpOffset = 0;
inline constexpr std::size_t kDhcpHlenOffset = 2;
inline constexpr std::size_t kDhcpCiaddrOffset = 12;
inline constexpr std::size_t kDhcpYiaddrOffset = 16;
inline constexpr std::size_t kDhcpSiaddrOffset = 20;
inline constexpr std::size_t kDhcpChaddrOffset = 28;
inline constexpr std::size_t kDhcpChaddrSize = 16;
inline constexpr std::size_t kDhcpSnameOffset = 44;
inline constexpr std::size_t kDhcpSnameSize = 64;
inline constexpr std::size_t kDhcpFileOffset = 108;
inline constexpr std::size_t kDhcpFileSize = 128;
inline constexpr std::size_t kDhcpCookieOffset = 236;
inline constexpr std::array<std::uint8_t, 4> kDhcpMagicCookie = {99, 130, 83, 99};
inline constexpr std::size_t kDhcpOptionsOffset = 240;
inline constexpr std::uint8_t kDhcpOptionPad = 0;
inline constexpr std::uint8_t kDhcpOptionSubnetMask = 1;
inline constexpr std::uint8_t kDhcpOptionRouter = 3;
inline constexpr std::uint8_t kDhcpOptionHostName = 12;
inline constexpr std::uint8_t kDhcpOptionLeaseTime = 51;
inline constexpr std::uint8_t kDhcpOptionMessageType = 53;
inline constexpr std::uint8_t kDhcpOptionServerId = 54;
inline constexpr std::uint8_t kDhcpOptionEnd = 255;
inline constexpr std::uint8_t kDhcpTypeBootp = 0;  // no message-type option: plain BOOTP
inline constexpr std::uint8_t kDhcpDiscover = 1;
inline constexpr std::uint8_t kDhcpOffer = 2;
inline constexpr std::uint8_t kDhcpRequest = 3;
inline constexpr std::uint8_t kDhcpAck = 5;
inline constexpr std::uint32_t kDhcpLeaseSeconds = 600;
inline constexpr std::size_t kHostNameMaxSize = 128;
inline constexpr std::size_t kServerNameMaxLength = kDhcpSnameSize - 1;
inline constexpr std::string_view kFallbackServerName = "Solvd32DchpServer";
// Other servers on the DHCP port that are warned of once each; more are warned of each time.
inline constexpr std::size_t kMaxRivalsRemembered = 16;
// Client MACs whose board type the responder remembers. Any host can forge chaddr, so the
// memory is bounded; the client seen least recently is forgotten first.
inline constexpr std::size_t kDhcpRememberedBoards = 1024;
// Messages of one client MAC answered per rate window (Timings::dhcpClientRateWindow): a boot
// loader sends a DISCOVER and a REQUEST and retries after seconds, so more than this is a
// client in a loop or a flood, and answering each would send a reply and run the route and
// ARP tools every time.
inline constexpr std::size_t kDhcpMessagesPerClientWindow = 8;
// Client MACs whose rate is followed; the client seen least recently is forgotten first.
inline constexpr std::size_t kDhcpRateLimitedClients = 1024;

}  // namespace vantor
