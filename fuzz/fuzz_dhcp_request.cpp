// A received BOOTP/DHCP datagram, whatever its bytes, through the responder's decisions.
#include <cstdint>
#include <span>

#include "base/Ipv4.h"
#include "recovery/DhcpMessage.h"
#include "recovery/DhcpResponder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // One responder for the whole run: its boot file name carries over, as in service.
    static vantor::DhcpResponder responder(vantor::Ipv4::fromOctets(10, 0, 0, 1), "pc1");
    static const std::uint32_t senders[] = {0, 0xFFFFFFFFU, vantor::Ipv4::fromOctets(10, 0, 0, 7)};
    const std::span<const std::uint8_t> datagram(data, size);
    const vantor::Endpoint sender{senders[size % 3], 68};
    const vantor::DhcpDecision decision = responder.Evaluate(datagram, sender);
    if (decision.verdict == vantor::DhcpVerdict::reply && decision.reply[0] != 2) {
        __builtin_trap();
    }
    for (const std::uint8_t code : {std::uint8_t{12}, std::uint8_t{53}, std::uint8_t{0}}) {
        if (const auto value = vantor::DhcpMessage::FindDhcpOption(datagram, code)) {
            if (value->data() < data || value->data() + value->size() > data + size) {
                __builtin_trap();  // an option must lie inside the datagram
            }
        }
    }
    return 0;
}
