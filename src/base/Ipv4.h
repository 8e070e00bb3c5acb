#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantor {

// An IPv4 address kept as the 32-bit value in network byte order, the form sockets and
// packets use. The helpers work on the four octets, never on the host's byte order.
struct Ipv4 {
    // Octets first to last, as written in dotted text.
    static std::uint32_t fromOctets(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d);
    static std::string format(std::uint32_t networkOrder);  // dotted decimal
    // Strict dotted decimal: four decimal octets 0..255, nothing else.
    static std::optional<std::uint32_t> parse(std::string_view text);
};

}  // namespace vantor
