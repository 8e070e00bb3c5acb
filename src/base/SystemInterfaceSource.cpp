#include "base/SystemInterfaceSource.h"

#include <unistd.h>

#include <array>

#include "base/InterfaceList.h"
namespace vantor {

std::optional<std::string> SystemInterfaceSource::hostName() {
    std::array<char, kHostNameBufferSize> buffer{};
    if (gethostname(buffer.data(), buffer.size() - 1) != 0) {
        return std::nullopt;
    }
    return std::string(buffer.data());
}

std::vector<std::uint32_t> SystemInterfaceSource::addresses() {
    return usableAddresses(InterfaceList::read());
}

std::vector<std::uint32_t> SystemInterfaceSource::usableAddresses(
    const std::vector<InterfaceList::Entry>& entries) {
    std::vector<std::uint32_t> result;
    std::optional<std::uint32_t> loopback;
    for (const InterfaceList::Entry& entry : entries) {
        if (!entry.up) {
            continue;
        }
        if (entry.loopback) {
            loopback = loopback.value_or(entry.address);
        } else if (result.size() < kMaxInterfaces) {
            result.push_back(entry.address);
        }
    }
    // A PC without a network has its loopback address alone, as its host name resolves to;
    // the console tells it apart from a PC whose interfaces have no address yet.
    if (result.empty() && loopback) {
        result.push_back(*loopback);
    }
    return result;
}

}  // namespace vantor
