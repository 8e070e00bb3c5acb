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
    std::vector<std::uint32_t> result;
    for (const InterfaceList::Entry& entry : InterfaceList::read()) {
        if (result.size() >= kMaxInterfaces) {
            break;
        }
        if (entry.up && !entry.loopback) {
            result.push_back(entry.address);
        }
    }
    return result;
}

}  // namespace vantor
