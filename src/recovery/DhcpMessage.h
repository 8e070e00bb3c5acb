#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "recovery/DhcpWire.h"

namespace vantor {

// Reading and writing BOOTP/DHCP messages (RFC 951, RFC 2131). Every read is bounded by the
// bytes actually received; a message shorter than a field reads that field as absent.
struct DhcpMessage {
    // The value of the first option with this code, or nothing. Options are read only after
    // the magic cookie; a pad (0) advances one byte, any other code, the end code included,
    // advances by its length byte plus two. An option whose length byte or value would run
    // past the end of `message` is absent.
    static std::optional<std::span<const std::uint8_t>> FindDhcpOption(
        std::span<const std::uint8_t> message, std::uint8_t code);

    // The DHCP message type of option 53, or 0 ("BootP") without it or without the cookie.
    static std::uint8_t MessageType(std::span<const std::uint8_t> message);
    // "BootP", "DHCP Discover", ... for the trace lines; "Invalid Pkt" past 8.
    static std::string_view MessageTypeName(std::uint8_t type);

    // Up to 16 hardware address bytes as upper-case hexadecimal pairs joined by "-".
    static std::string FormatMacText(std::span<const std::uint8_t> hardwareAddress);
    // The client's MAC text: the first hlen bytes of chaddr (at most 16).
    static std::string ClientMacText(std::span<const std::uint8_t> message);

    // The server host name field up to its first zero (at most 63 characters).
    static std::string ServerName(std::span<const std::uint8_t> message);
    // A 4-byte address field, as a network-order value; 0 past the end of the message.
    static std::uint32_t ReadAddress(std::span<const std::uint8_t> message, std::size_t offset);
    static void WriteAddress(std::span<std::uint8_t> message, std::size_t offset,
                             std::uint32_t networkOrder);

    // Writes the fixed reply options (53, 54, 51, 1, 3, 255 and two zero bytes) from offset
    // 240 and returns the reply length, 270.
    static std::size_t BuildReplyOptions(std::span<std::uint8_t, kDhcpReplySize> reply,
                                         std::uint8_t type, std::uint32_t nicAddress,
                                         std::uint32_t offeredAddress);

    // The reply to `request`, built the way the product always built it: in the receive
    // buffer itself, so every byte the reply does not set is the request's byte (zero past
    // the received length). op becomes BOOTREPLY, yiaddr the offered address, siaddr the
    // interface, file the boot file name, and the option area the fixed reply options.
    static std::array<std::uint8_t, kDhcpReplySize> BuildReply(
        std::span<const std::uint8_t> request, std::uint8_t type, std::uint32_t nicAddress,
        std::uint32_t offeredAddress, std::string_view bootFileName);
};

}  // namespace vantor
