#include "net/KernelNeighbourTables.h"

#include <charconv>
#include <fstream>
#include <sstream>
#include <vector>

namespace vantor {
namespace {

// /proc/net/route: "Iface Destination Gateway Flags RefCnt Use Metric Mask MTU Window IRTT",
// addresses as the kernel holds them (network order) printed as hexadecimal numbers.
constexpr std::size_t kRouteInterfaceColumn = 0;
constexpr std::size_t kRouteDestinationColumn = 1;
constexpr std::size_t kRouteFlagsColumn = 3;
constexpr std::size_t kRouteMaskColumn = 7;
constexpr std::uint32_t kRouteUp = 0x1;  // RTF_UP
constexpr std::uint32_t kHostMask = 0xFFFFFFFFU;
// /proc/net/arp: "IP address, HW type, Flags, HW address, Mask, Device".
constexpr std::size_t kArpAddressColumn = 0;
constexpr std::size_t kArpFlagsColumn = 2;
constexpr std::size_t kArpHardwareColumn = 3;
constexpr std::size_t kArpDeviceColumn = 5;
constexpr std::uint32_t kArpPermanent = 0x4;  // ATF_PERM

std::vector<std::string> columnsOf(const std::string& line) {
    std::istringstream fields(line);
    std::vector<std::string> columns;
    for (std::string field; fields >> field;) {
        columns.push_back(field);
    }
    return columns;
}

std::optional<std::uint32_t> hexNumber(std::string_view text) {
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
    }
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (error != std::errc{} || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

std::string readAll(const char* path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

bool KernelNeighbourTables::HasHostRoute(std::string_view table, std::uint32_t destination,
                                         std::string_view interfaceName) {
    std::istringstream lines{std::string(table)};
    for (std::string line; std::getline(lines, line);) {
        const auto columns = columnsOf(line);
        if (columns.size() <= kRouteMaskColumn || columns[kRouteInterfaceColumn] != interfaceName) {
            continue;
        }
        const auto to = hexNumber(columns[kRouteDestinationColumn]);
        const auto flags = hexNumber(columns[kRouteFlagsColumn]);
        const auto mask = hexNumber(columns[kRouteMaskColumn]);
        if (to && flags && mask && *to == destination && *mask == kHostMask &&
            (*flags & kRouteUp) != 0) {
            return true;
        }
    }
    return false;
}

std::optional<std::string> KernelNeighbourTables::PermanentEntry(std::string_view table,
                                                                 std::string_view address,
                                                                 std::string_view interfaceName) {
    std::istringstream lines{std::string(table)};
    for (std::string line; std::getline(lines, line);) {
        const auto columns = columnsOf(line);
        if (columns.size() <= kArpDeviceColumn || columns[kArpAddressColumn] != address ||
            columns[kArpDeviceColumn] != interfaceName) {
            continue;
        }
        const auto flags = hexNumber(columns[kArpFlagsColumn]);
        if (flags && (*flags & kArpPermanent) != 0) {
            return columns[kArpHardwareColumn];
        }
    }
    return std::nullopt;
}

// thread-self: the lab and the console may run threads in network namespaces of their own,
// and /proc/self/net follows the process's main thread instead.
std::string KernelNeighbourTables::ReadRouteTable() {
    return readAll("/proc/thread-self/net/route");
}

std::string KernelNeighbourTables::ReadNeighbourTable() {
    return readAll("/proc/thread-self/net/arp");
}

}  // namespace vantor
