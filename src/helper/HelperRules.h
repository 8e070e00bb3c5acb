#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/InterfaceList.h"

namespace vantor {

// What the network helper accepts in a request's fields, judged against the host's interfaces
// as they are now. A refusal is a short sentence built from the parsed values alone.
namespace HelperRules {

// Nothing for the server ports the modes listen on (BOOTP/DHCP 67, TFTP 69).
std::optional<std::string> PortRefusal(std::uint16_t port);
// The existing non-loopback interface entry that holds address (network order): the PC's own
// side of a link.
std::optional<InterfaceList::Entry> OwnerOf(std::uint32_t address,
                                            const std::vector<InterfaceList::Entry>& interfaces);
// Nothing for an address a neighbour entry or a host route may name: a unicast host on some
// link, not this PC itself.
std::optional<std::string> PeerRefusal(std::uint32_t address,
                                       const std::vector<InterfaceList::Entry>& interfaces);
// Nothing for a unicast, nonzero MAC.
std::optional<std::string> MacRefusal(const std::array<std::uint8_t, 6>& mac);
// "aa:bb:cc:dd:ee:ff", as `ip neigh` takes it.
std::string MacText(const std::array<std::uint8_t, 6>& mac);

}  // namespace HelperRules
}  // namespace vantor
