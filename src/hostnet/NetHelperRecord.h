#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace vantor {

// The records between the program and its network helper (vantor-net-helper), the only part
// of the product that holds network capabilities. They travel over a SOCK_SEQPACKET
// socketpair, one record a message: the program sends a request, the helper answers it, in
// order; a descriptor the helper opened rides on its answer (SCM_RIGHTS). Both records have a
// fixed size and a version. The helper ends on anything that is not a well-formed request,
// so a parse here is the whole of what an unprivileged peer can make it read.
//
// Request, 32 bytes, multi-byte fields big-endian:
//   0  u16 magic 0x564E ("VN")      2  u8 version (1)   3  u8 kind
//   4  u32 sequence (the answer repeats it)
//   8  u32 address: the peer (neighbour entry, host route), or the local address to bind
//  12  u32 local address: the interface address that names the interface
//  16  u16 port                     18  6 bytes MAC
//  24  8 bytes zero
// Answer, 256 bytes:
//   0  u16 magic   2  u8 version   3  u8 kind (the request's)
//   4  u32 sequence                8  u8 status   9  u8 flags
//  10  u16 text length (at most 232)
//  12  u32 errno (when the status is failed by the system)
//  16  u64 capabilities: the helper's effective set (Hello only; 0 otherwise)
//  24  232 bytes text: the tool's own words on failure, or why a request was refused;
//      zero after its length
enum class HelperRequestKind : std::uint8_t {
    // Who answers: the helper's effective capabilities.
    hello = 1,
    // A UDP socket bound to `address`:`port` (67 or 69); `address` must be the PC's own.
    openUdp = 2,
    // A UDP socket for `port` (67 or 69) on the interface that owns `localAddress`:
    // SO_REUSEADDR, SO_BINDTODEVICE, bound to the wildcard address.
    openUdpOnInterface = 3,
    // Whether a socket on that interface, bound without SO_REUSEADDR, finds `port` taken.
    probeUdpPort = 4,
    // A raw ICMP socket (only where the unprivileged ICMP socket is refused).
    openRawIcmp = 5,
    // `ip neigh replace ADDRESS lladdr MAC dev IF nud permanent` on the interface that owns
    // `localAddress`.
    plantNeighbour = 6,
    // The entries for `address`: those the helper planted, and the kernel's learnt (not
    // permanent) ones. The administrator's permanent entries stay.
    removeNeighbour = 7,
    // The entry the helper planted for `address` on the interface that owns `localAddress`.
    removeNeighbourOn = 8,
    // `ip route replace ADDRESS/32 dev IF src LOCAL` through the interface that owns
    // `localAddress`.
    addHostRoute = 9,
    // The host route to `address` that the helper added.
    removeHostRoute = 10,
    // The neighbour entries and the host route the helper made for `address` are the
    // operator's now: they stay when the program ends.
    keep = 11,
};

enum class HelperStatus : std::uint8_t {
    done = 0,
    refused = 1,  // the helper does not do that: text says why; nothing was changed
    failed = 2,   // it tried: errno or the tool's words in text
};

// How the program starts the helper: its end of the socketpair as this descriptor (standard
// input and output on /dev/null), and this environment alone, for the helper and the `ip` it
// runs.
inline constexpr int kHelperSocketDescriptor = 3;
inline constexpr std::array<std::pair<const char*, const char*>, 2> kHelperEnvironment{
    {{"PATH", "/usr/sbin:/usr/bin:/sbin:/bin"}, {"LC_ALL", "C"}}};

inline constexpr std::uint16_t kHelperMagic = 0x564E;
inline constexpr std::uint8_t kHelperVersion = 1;
inline constexpr std::size_t kHelperRequestSize = 32;
inline constexpr std::size_t kHelperAnswerSize = 256;
inline constexpr std::size_t kHelperTextCapacity = 232;
// Answer flags.
inline constexpr std::uint8_t kHelperPortTaken = 0x01;       // probeUdpPort: the port is taken
inline constexpr std::uint8_t kHelperDescriptorSent = 0x02;  // a descriptor rides on the answer

struct HelperRequest {
    HelperRequestKind kind = HelperRequestKind::hello;
    std::uint32_t sequence = 0;
    std::uint32_t address = 0;       // network order
    std::uint32_t localAddress = 0;  // network order
    std::uint16_t port = 0;
    std::array<std::uint8_t, 6> mac{};
    bool operator==(const HelperRequest&) const = default;
};

struct HelperAnswer {
    HelperRequestKind kind = HelperRequestKind::hello;
    std::uint32_t sequence = 0;
    HelperStatus status = HelperStatus::done;
    std::uint8_t flags = 0;
    std::uint32_t error = 0;
    std::uint64_t capabilities = 0;
    std::string text;  // at most kHelperTextCapacity bytes; longer is cut when built
    bool operator==(const HelperAnswer&) const = default;
};

// Pure functions over bytes. A parse gives nothing for a record of another size, magic or
// version, an unknown kind or status, a text length over the capacity, or nonzero padding.
namespace HelperRecord {
std::vector<std::uint8_t> BuildRequest(const HelperRequest& request);
std::optional<HelperRequest> ParseRequest(std::span<const std::uint8_t> bytes);
std::vector<std::uint8_t> BuildAnswer(const HelperAnswer& answer);
std::optional<HelperAnswer> ParseAnswer(std::span<const std::uint8_t> bytes);
}  // namespace HelperRecord

}  // namespace vantor
