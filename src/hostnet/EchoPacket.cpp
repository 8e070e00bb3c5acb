#include "hostnet/EchoPacket.h"

#include <algorithm>

#include "base/ByteReader.h"
#include "base/ByteWriter.h"
#include "hostnet/IcmpWire.h"

namespace vantor {
namespace {

constexpr std::uint8_t kIcmpEchoCode = 0;
constexpr std::size_t kIcmpChecksumOffset = 2;
constexpr std::uint16_t kUnsetChecksum = 0;
constexpr std::size_t kChecksumWordSize = 2;
constexpr unsigned kOddByteShift = 8;  // the high byte of its word
// The first IPv4 header byte holds the version above the header length in 32-bit words.
constexpr unsigned kIpVersionShift = 4;
constexpr std::uint8_t kIpHeaderLengthMask = 0x0F;
constexpr std::size_t kIpHeaderWordSize = 4;
constexpr unsigned kIpVersion4 = 4;
constexpr std::size_t kIpTypeOfServiceSize = 1;
constexpr std::size_t kIpProtocolOffset = 9;

}  // namespace

std::vector<std::uint8_t> EchoPacket::BuildRequest(std::uint16_t identifier, std::uint16_t sequence,
                                                   std::size_t dataSize) {
    std::vector<std::uint8_t> packet(kIcmpEchoHeaderSize + dataSize, kPingDataByte);
    ByteWriter writer(std::span<std::uint8_t>(packet), ByteOrder::big);
    // The checksum is computed over the message with zero in its place (RFC 792).
    writer.u8(kIcmpEchoRequest).u8(kIcmpEchoCode).u16(kUnsetChecksum).u16(identifier).u16(sequence);
    writer.seek(kIcmpChecksumOffset).u16(Checksum(packet));
    return packet;
}

std::uint16_t EchoPacket::Checksum(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    ByteReader words(bytes, ByteOrder::big);
    while (words.remaining() >= kChecksumWordSize) {
        sum += words.u16();
    }
    if (words.remaining() > 0) {
        sum += std::uint32_t{words.u8()} << kOddByteShift;  // an odd byte is padded with zero
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
        ByteReader ip(packet, ByteOrder::big);
        const std::uint8_t versionAndLength = ip.u8();
        ip.skip(kIpTypeOfServiceSize);
        const std::size_t totalLength = ip.u16();
        ip.seek(kIpProtocolOffset);
        const std::uint8_t protocol = ip.u8();
        const std::size_t headerLength =
            static_cast<std::size_t>(versionAndLength & kIpHeaderLengthMask) * kIpHeaderWordSize;
        if ((versionAndLength >> kIpVersionShift) != kIpVersion4 ||
            headerLength < kIpv4MinHeaderSize || totalLength < headerLength) {
            return {EchoError::NotIpv4, {}};
        }
        if (headerLength > packet.size() || totalLength > packet.size()) {
            return {EchoError::Truncated, {}};
        }
        if (protocol != kIpProtocolIcmp) {
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
    ByteReader reader(icmp, ByteOrder::big);
    EchoMessage message;
    message.type = reader.u8();
    message.code = reader.u8();
    reader.skip(sizeof(std::uint16_t));  // the checksum, checked above
    message.identifier = reader.u16();
    message.sequence = reader.u16();
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
