#include "recovery/DhcpMessage.h"

#include <arpa/inet.h>

#include <algorithm>

namespace vantor {

std::optional<std::span<const std::uint8_t>> DhcpMessage::FindDhcpOption(
    std::span<const std::uint8_t> message, std::uint8_t code) {
    if (message.size() < kDhcpOptionsOffset ||
        !std::equal(kDhcpMagicCookie.begin(), kDhcpMagicCookie.end(),
                    message.begin() + kDhcpCookieOffset)) {
        return std::nullopt;
    }
    std::size_t position = kDhcpOptionsOffset;
    while (position < message.size()) {
        const std::uint8_t found = message[position];
        if (found != code && found == kDhcpOptionPad) {
            ++position;
            continue;
        }
        if (message.size() - position < 2) {
            return std::nullopt;  // no length byte
        }
        const std::size_t value = position + 2;
        const std::size_t length = message[position + 1];
        if (length > message.size() - value) {
            return std::nullopt;  // the value would run past the datagram
        }
        if (found == code) {
            return message.subspan(value, length);
        }
        position = value + length;
    }
    return std::nullopt;
}

std::uint8_t DhcpMessage::MessageType(std::span<const std::uint8_t> message) {
    const auto option = FindDhcpOption(message, kDhcpOptionMessageType);
    if (!option || option->empty()) {
        return kDhcpTypeBootp;
    }
    return (*option)[0];
}

std::string_view DhcpMessage::MessageTypeName(std::uint8_t type) {
    static constexpr std::array<std::string_view, 9> kNames = {
        "BootP",    "DHCP Discover", "DHCP Offer",   "DHCP Rqst",  "DHCP decline",
        "DHCP Ack", "DHCP Nak",      "DHCP release", "DHCP inform"};
    return type < kNames.size() ? kNames[type] : std::string_view("Invalid Pkt");
}

std::string DhcpMessage::FormatMacText(std::span<const std::uint8_t> hardwareAddress) {
    static constexpr std::string_view kDigits = "0123456789ABCDEF";
    const std::size_t count = std::min(hardwareAddress.size(), kDhcpChaddrSize);
    std::string text;
    text.reserve(count * 3);
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) {
            text += '-';
        }
        text += kDigits[hardwareAddress[i] >> 4];
        text += kDigits[hardwareAddress[i] & 0x0F];
    }
    return text;
}

std::string DhcpMessage::ClientMacText(std::span<const std::uint8_t> message) {
    if (message.size() < kDhcpChaddrOffset + kDhcpChaddrSize) {
        return {};
    }
    const std::size_t length = std::min<std::size_t>(message[kDhcpHlenOffset], kDhcpChaddrSize);
    return FormatMacText(message.subspan(kDhcpChaddrOffset, length));
}

std::string DhcpMessage::ServerName(std::span<const std::uint8_t> message) {
    if (message.size() <= kDhcpSnameOffset) {
        return {};
    }
    // Byte 63 is treated as zero whatever arrived, so the name is at most 63 characters.
    const auto field = message.subspan(
        kDhcpSnameOffset, std::min(kServerNameMaxLength, message.size() - kDhcpSnameOffset));
    const auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
    return std::string(field.begin(), end);
}

std::uint32_t DhcpMessage::ReadAddress(std::span<const std::uint8_t> message, std::size_t offset) {
    if (message.size() < offset || message.size() - offset < 4) {
        return 0;
    }
    const std::uint32_t host =
        (std::uint32_t{message[offset]} << 24) | (std::uint32_t{message[offset + 1]} << 16) |
        (std::uint32_t{message[offset + 2]} << 8) | std::uint32_t{message[offset + 3]};
    return htonl(host);
}

void DhcpMessage::WriteAddress(std::span<std::uint8_t> message, std::size_t offset,
                               std::uint32_t networkOrder) {
    const std::uint32_t host = ntohl(networkOrder);
    message[offset] = static_cast<std::uint8_t>(host >> 24);
    message[offset + 1] = static_cast<std::uint8_t>(host >> 16);
    message[offset + 2] = static_cast<std::uint8_t>(host >> 8);
    message[offset + 3] = static_cast<std::uint8_t>(host);
}

std::size_t DhcpMessage::BuildReplyOptions(std::span<std::uint8_t, kDhcpReplySize> reply,
                                           std::uint8_t type, std::uint32_t nicAddress,
                                           std::uint32_t offeredAddress) {
    std::size_t at = kDhcpOptionsOffset;
    const auto put = [&](std::uint8_t byte) { reply[at++] = byte; };
    const auto putAddress = [&](std::uint32_t networkOrder) {
        WriteAddress(reply, at, networkOrder);
        at += 4;
    };
    put(kDhcpOptionMessageType);
    put(1);
    put(type);
    put(kDhcpOptionServerId);
    put(4);
    putAddress(nicAddress);
    put(kDhcpOptionLeaseTime);
    put(4);
    putAddress(htonl(kDhcpLeaseSeconds));
    put(kDhcpOptionSubnetMask);
    put(4);
    putAddress(0);
    // The router is the offered address itself: the device then sends everything on-link.
    put(kDhcpOptionRouter);
    put(4);
    putAddress(offeredAddress);
    put(kDhcpOptionEnd);
    put(0);
    put(0);
    return at;
}

std::array<std::uint8_t, kDhcpReplySize> DhcpMessage::BuildReply(
    std::span<const std::uint8_t> request, std::uint8_t type, std::uint32_t nicAddress,
    std::uint32_t offeredAddress, std::string_view bootFileName) {
    std::array<std::uint8_t, kDhcpReplySize> reply{};
    std::copy_n(request.begin(), std::min(request.size(), kDhcpOptionsOffset), reply.begin());
    reply[kDhcpSnameOffset + kDhcpSnameSize - 1] = 0;
    reply[kDhcpFileOffset + kDhcpFileSize - 1] = 0;
    reply[kDhcpOpOffset] = kBootReply;
    WriteAddress(reply, kDhcpYiaddrOffset, offeredAddress);
    WriteAddress(reply, kDhcpSiaddrOffset, nicAddress);
    const std::size_t nameLength = std::min(bootFileName.size(), kDhcpFileSize - 1);
    std::copy_n(bootFileName.begin(), nameLength, reply.begin() + kDhcpFileOffset);
    reply[kDhcpFileOffset + nameLength] = 0;
    BuildReplyOptions(reply, type, nicAddress, offeredAddress);
    return reply;
}

}  // namespace vantor
