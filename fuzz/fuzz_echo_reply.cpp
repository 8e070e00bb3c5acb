// A packet from the ICMP socket, arbitrary: read once as a raw socket delivers it (IPv4 header
// first) and once as a datagram socket does (the ICMP message alone), then judged as an answer
// to our request and to a request with the reply's own identifier and sequence, which reaches
// the checks of the echoed data.
#include <algorithm>
#include <cstdint>
#include <span>

#include "hostnet/EchoPacket.h"
#include "hostnet/IcmpWire.h"

namespace {

constexpr std::uint16_t kIdentifier = 0x1234;
constexpr std::uint16_t kSequence = 1;
constexpr std::size_t kSentDataSize = 32;

bool within(std::span<const std::uint8_t> part, std::span<const std::uint8_t> whole) {
    return part.empty() || (part.data() >= whole.data() &&
                            part.data() + part.size() <= whole.data() + whole.size());
}

void check(std::span<const std::uint8_t> packet, vantor::EchoFraming framing) {
    const vantor::ParsedEcho parsed = vantor::EchoPacket::Parse(packet, framing);
    const vantor::EchoError ours =
        vantor::EchoPacket::CheckReply(packet, framing, kIdentifier, kSequence, kSentDataSize);
    if (parsed.error != vantor::EchoError::None) {
        if (ours != parsed.error) {
            __builtin_trap();
        }
        return;
    }
    const vantor::EchoMessage& message = parsed.message;
    const std::size_t headers = framing == vantor::EchoFraming::WithIpHeader
                                    ? vantor::kIpv4MinHeaderSize + vantor::kIcmpEchoHeaderSize
                                    : vantor::kIcmpEchoHeaderSize;
    // The data lie inside the packet, behind the headers.
    if (!within(message.data, packet) || packet.size() < headers + message.data.size()) {
        __builtin_trap();
    }
    // Without an IP header the message is the packet, and it checks out (RFC 1071).
    if (framing == vantor::EchoFraming::IcmpOnly &&
        (vantor::EchoPacket::Checksum(packet) != 0 || message.type != packet[0] ||
         message.code != packet[1] || message.identifier != ((packet[4] << 8) | packet[5]) ||
         message.sequence != ((packet[6] << 8) | packet[7]))) {
        __builtin_trap();
    }
    if (ours != vantor::EchoPacket::Judge(message, kIdentifier, kSequence, kSentDataSize)) {
        __builtin_trap();
    }
    // Taken as the answer to a request with its own identifier and sequence: a reply passes
    // exactly when it echoes no more than was sent and nothing but the pattern.
    const vantor::EchoError own =
        vantor::EchoPacket::Judge(message, message.identifier, message.sequence, kSentDataSize);
    const bool reply = message.type == vantor::kIcmpEchoReply && message.code == 0;
    const bool pattern = std::all_of(message.data.begin(), message.data.end(),
                                     [](std::uint8_t b) { return b == vantor::kPingDataByte; });
    const bool accepted = reply && message.data.size() <= kSentDataSize && pattern;
    if ((own == vantor::EchoError::None) != accepted) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> packet(data, size);
    check(packet, vantor::EchoFraming::WithIpHeader);
    check(packet, vantor::EchoFraming::IcmpOnly);
    return 0;
}
