#include "recovery/DhcpMessage.h"

#include <arpa/inet.h>

#include <algorithm>

#include "base/ByteReader.h"
#include "base/ByteWriter.h"

namespace vantor {
namespace {

constexpr std::uint8_t kMessageTypeLength = 1;
constexpr std::uint8_t kAddressLength = 4;
constexpr std::uint32_t kNoSubnetMask = 0;

}  // namespace

std::optional<std::span<const std::uint8_t>> DhcpMessage::FindDhcpOption(
    std::span<const std::uint8_t> message, std::uint8_t code) {
    if (message.size() < kDhcpOptionsOffset ||
        !std::equal(kDhcpMagicCookie.begin(), kDhcpMagicCookie.end(),
                    message.begin() + kDhcpCookieOffset)) {
        return std::nullopt;
    }
    ByteReader reader(message);
    reader.seek(kDhcpOptionsOffset);
    while (reader.remaining() > 0) {
        const std::uint8_t found = reader.u8();
        if (found != code && found == kDhcpOptionPad) {
            continue;
        }
        const std::uint8_t length = reader.u8();
        const auto value = reader.bytes(length);
        if (!reader.ok()) {
            return std::nullopt;  // no length byte, or a value running past the datagram
        }
        if (found == code) {
            return value;
        }
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
    ByteReader reader(message, ByteOrder::big);
    reader.seek(offset);
    const std::uint32_t host = reader.u32();
    return reader.ok() ? htonl(host) : 0;
}

void DhcpMessage::WriteAddress(std::span<std::uint8_t> message, std::size_t offset,
                               std::uint32_t networkOrder) {
    ByteWriter(message, ByteOrder::big).seek(offset).u32(ntohl(networkOrder));
}

std::size_t DhcpMessage::BuildReplyOptions(std::span<std::uint8_t, kDhcpReplySize> reply,
                                           std::uint8_t type, std::uint32_t nicAddress,
                                           std::uint32_t offeredAddress) {
    ByteWriter writer(reply, ByteOrder::big);
    writer.seek(kDhcpOptionsOffset);
    writer.u8(kDhcpOptionMessageType).u8(kMessageTypeLength).u8(type);
    writer.u8(kDhcpOptionServerId).u8(kAddressLength).u32(ntohl(nicAddress));
    writer.u8(kDhcpOptionLeaseTime).u8(kAddressLength).u32(kDhcpLeaseSeconds);
    writer.u8(kDhcpOptionSubnetMask).u8(kAddressLength).u32(kNoSubnetMask);
    // The router is the offered address itself: the device then sends everything on-link.
    writer.u8(kDhcpOptionRouter).u8(kAddressLength).u32(ntohl(offeredAddress));
    writer.u8(kDhcpOptionEnd).u8(kDhcpOptionPad).u8(kDhcpOptionPad);
    return writer.position();
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
