#include "hostnet/EchoPacket.h"

#include <algorithm>

#include "hostnet/IcmpWire.h"

namespace vantor {
namespace {

std::uint16_t readBigEndian16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>((bytes[at] << 8) | bytes[at + 1]);
}

void writeBigEndian16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value >> 8);
    bytes[at + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

}  // namespace

std::vector<std::uint8_t> EchoPacket::BuildRequest(std::uint16_t identifier, std::uint16_t sequence,
                                                   std::size_t dataSize) {
    std::vector<std::uint8_t> packet(kIcmpEchoHeaderSize + dataSize, kPingDataByte);
    packet[0] = kIcmpEchoRequest;
    packet[1] = 0;  // code
    writeBigEndian16(packet, 2, 0);
    writeBigEndian16(packet, 4, identifier);
    writeBigEndian16(packet, 6, sequence);
    writeBigEndian16(packet, 2, Checksum(packet));
    return packet;
}

std::uint16_t EchoPacket::Checksum(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        sum += readBigEndian16(bytes, i);
    }
    if (i < bytes.size()) {
        sum += static_cast<std::uint32_t>(bytes[i]) << 8;  // an odd byte is padded with zero
    }
    while ((sum >> 16) != 0) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<std::uint16_t>(~sum & 0xFFFF);
}

ParsedEcho EchoPacket::Parse(std::span<const std::uint8_t> packet, EchoFraming framing) {
    std::span<const std::uint8_t> icmp = packet;
    if (framing == EchoFraming::WithIpHeader) {
        if (packet.size() < kIpv4MinHeaderSize) {
            return {EchoError::Truncated, {}};
        }
        const std::size_t headerLength = std::size_t{packet[0] & 0x0Fu} * 4;
        const std::size_t totalLength = readBigEndian16(packet, 2);
        if ((packet[0] >> 4) != 4 || headerLength < kIpv4MinHeaderSize ||
            totalLength < headerLength) {
            return {EchoError::NotIpv4, {}};
        }
        if (headerLength > packet.size() || totalLength > packet.size()) {
            return {EchoError::Truncated, {}};
        }
        if (packet[9] != kIpProtocolIcmp) {
            return {EchoError::NotIcmp, {}};
        }
        // Bytes beyond the IP total length are link padding, not ICMP data.
        icmp = packet.subspan(headerLength, totalLength - headerLength);
    }
    if (icmp.size() < kIcmpEchoHeaderSize) {
        return {EchoError::Truncated, {}};
    }
    if (Checksum(icmp) != 0) {
        return {EchoError::BadChecksum, {}};
    }
    EchoMessage message;
    message.type = icmp[0];
    message.code = icmp[1];
    message.identifier = readBigEndian16(icmp, 4);
    message.sequence = readBigEndian16(icmp, 6);
    message.data = icmp.subspan(kIcmpEchoHeaderSize);
    return {EchoError::None, message};
}

EchoError EchoPacket::Judge(const EchoMessage& message, std::uint16_t identifier,
                            std::uint16_t sequence, std::size_t sentDataSize) {
    if (message.type != kIcmpEchoReply || message.code != 0) {
        return EchoError::NotEchoReply;
    }
    if (message.identifier != identifier) {
        return EchoError::OtherIdentifier;
    }
    if (message.sequence != sequence) {
        return EchoError::OtherSequence;
    }
    if (message.data.size() > sentDataSize) {
        return EchoError::TooMuchData;
    }
    const bool pattern = std::all_of(message.data.begin(), message.data.end(),
                                     [](std::uint8_t byte) { return byte == kPingDataByte; });
    return pattern ? EchoError::None : EchoError::WrongData;
}

EchoError EchoPacket::CheckReply(std::span<const std::uint8_t> packet, EchoFraming framing,
                                 std::uint16_t identifier, std::uint16_t sequence,
                                 std::size_t sentDataSize) {
    const ParsedEcho parsed = Parse(packet, framing);
    if (parsed.error != EchoError::None) {
        return parsed.error;
    }
    return Judge(parsed.message, identifier, sequence, sentDataSize);
}

}  // namespace vantor
