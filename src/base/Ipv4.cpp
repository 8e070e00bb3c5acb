#include "base/Ipv4.h"

#include <arpa/inet.h>

#include <array>
#include <charconv>

namespace vantor {

std::uint32_t Ipv4::fromOctets(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    const std::uint32_t host = (std::uint32_t{a} << 24) | (std::uint32_t{b} << 16) |
                               (std::uint32_t{c} << 8) | std::uint32_t{d};
    return htonl(host);
}

std::string Ipv4::format(std::uint32_t networkOrder) {
    const std::uint32_t host = ntohl(networkOrder);
    return std::to_string(host >> 24) + "." + std::to_string((host >> 16) & 0xFF) + "." +
           std::to_string((host >> 8) & 0xFF) + "." + std::to_string(host & 0xFF);
}

std::optional<std::uint32_t> Ipv4::parse(std::string_view text) {
    std::array<std::uint8_t, 4> octets{};
    const char* p = text.data();
    const char* end = text.data() + text.size();
    for (std::size_t i = 0; i < octets.size(); ++i) {
        if (i > 0) {
            if (p == end || *p != '.') {
                return std::nullopt;
            }
            ++p;
        }
        const bool leadingZero = end - p > 1 && *p == '0' && p[1] >= '0' && p[1] <= '9';
        if (p == end || *p < '0' || *p > '9' || leadingZero) {
            return std::nullopt;  // no digits, or a leading zero that some tools read as octal
        }
        unsigned value = 0;
        const auto [next, error] = std::from_chars(p, end, value);
        if (error != std::errc{} || value > 255) {
            return std::nullopt;
        }
        octets[i] = static_cast<std::uint8_t>(value);
        p = next;
    }
    if (p != end) {
        return std::nullopt;
    }
    return fromOctets(octets[0], octets[1], octets[2], octets[3]);
}

}  // namespace vantor
