#include "net/InterfaceMtu.h"

#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cstring>

#include "base/InterfaceList.h"
#include "base/UniqueFd.h"

namespace vantor {

std::optional<std::size_t> InterfaceMtu::Of(std::uint32_t address) {
    for (const InterfaceList::Entry& entry : InterfaceList::read()) {
        if (entry.address != address) {
            continue;
        }
        ifreq request{};
        if (entry.name.size() >= sizeof request.ifr_name) {
            return std::nullopt;
        }
        std::memcpy(request.ifr_name, entry.name.c_str(), entry.name.size() + 1);
        const UniqueFd probe(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        if (!probe || ::ioctl(probe.get(), SIOCGIFMTU, &request) != 0 || request.ifr_mtu <= 0) {
            return std::nullopt;
        }
        return static_cast<std::size_t>(request.ifr_mtu);
    }
    return std::nullopt;
}

}  // namespace vantor
