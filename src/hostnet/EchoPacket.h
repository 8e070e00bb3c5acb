#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vantor {

// How a received echo reply is framed: raw ICMP sockets deliver the IPv4 header in front of
// the ICMP message, datagram ICMP sockets the ICMP message alone.
enum class EchoFraming { WithIpHeader, IcmpOnly };

enum class EchoError {
    None,
    Truncated,        // shorter than its headers say
    NotIpv4,          // an IP header that is not a valid IPv4 header
    NotIcmp,          // the IP header names another protocol
    BadChecksum,      // RFC 792: the checksum over the ICMP message does not add up
    NotEchoReply,     // another ICMP type or code (an error report, our own request)
    OtherIdentifier,  // an echo reply to someone else's request
    OtherSequence,
    TooMuchData,  // more data than we sent
    WrongData,    // a data byte that is not the pattern we sent
};

// An ICMP message as received; data points into the received bytes.
struct EchoMessage {
    std::uint8_t type = 0;
    std::uint8_t code = 0;
    std::uint16_t identifier = 0;
    std::uint16_t sequence = 0;
    std::span<const std::uint8_t> data;
};

struct ParsedEcho {
    EchoError error = EchoError::None;
    EchoMessage message;
};

// ICMP echo requests and replies (RFC 792) as bytes: fields in network byte order, built and
// read byte by byte, every length checked before it is used.
class EchoPacket {
  public:
    // An echo request whose data are dataSize bytes of "E", with its checksum.
    static std::vector<std::uint8_t> BuildRequest(std::uint16_t identifier, std::uint16_t sequence,
                                                  std::size_t dataSize);
    // The Internet checksum (RFC 1071): over a message with its checksum in place it is 0.
    static std::uint16_t Checksum(std::span<const std::uint8_t> bytes);
    static ParsedEcho Parse(std::span<const std::uint8_t> packet, EchoFraming framing);
    // Whether a message answers our request: an echo reply with our identifier and sequence
    // that echoes nothing but "E" bytes, at most as many as we sent (none at all passes).
    static EchoError Judge(const EchoMessage& message, std::uint16_t identifier,
                           std::uint16_t sequence, std::size_t sentDataSize);
    static EchoError CheckReply(std::span<const std::uint8_t> packet, EchoFraming framing,
                                std::uint16_t identifier, std::uint16_t sequence,
                                std::size_t sentDataSize);
};

}  // namespace vantor
