#include "net/UdpPortHolders.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <fstream>
#include <sstream>

namespace vantor {

namespace {

// Columns of /proc/net/udp: "sl local_address rem_address st tx:rx tr:when retrnsmt uid timeout
// inode ...".
constexpr std::size_t kLocalColumn = 1;
constexpr std::size_t kInodeColumn = 9;
constexpr std::string_view kSocketLink = "socket:[";

template <class T>
bool parseNumber(std::string_view text, T& value, int base) {
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value, base);
    return error == std::errc() && at == end && !text.empty();
}

// The table as the calling thread's namespace sees it: the lab and the console enter network
// namespaces per thread, and /proc/self/net follows the process's main thread instead.
std::string readUdpTable() {
    std::ifstream in("/proc/thread-self/net/udp");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::uint64_t> socketInodesOfThisProcess() {
    std::vector<std::uint64_t> inodes;
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr) {
        return inodes;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string path = std::string("/proc/self/fd/") + entry->d_name;
        std::array<char, 64> link{};
        const ssize_t length = ::readlink(path.c_str(), link.data(), link.size() - 1);
        if (length <= 0) {
            continue;
        }
        const std::string_view target(link.data(), static_cast<std::size_t>(length));
        std::uint64_t inode = 0;
        if (target.starts_with(kSocketLink) && target.ends_with(']') &&
            parseNumber(target.substr(kSocketLink.size(), target.size() - kSocketLink.size() - 1),
                        inode, 10)) {
            inodes.push_back(inode);
        }
    }
    ::closedir(dir);
    return inodes;
}

}  // namespace

std::vector<std::uint64_t> udpSocketInodes(std::string_view table, std::uint16_t port,
                                           std::uint32_t address) {
    std::vector<std::uint64_t> inodes;
    std::istringstream lines{std::string(table)};
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::vector<std::string> columns;
        for (std::string field; fields >> field && columns.size() <= kInodeColumn;) {
            columns.push_back(field);
        }
        if (columns.size() <= kInodeColumn) {
            continue;
        }
        // "0100000A:0043": the address as the kernel holds it (network order) printed as a
        // number, then the port in host order.
        const std::string_view local = columns[kLocalColumn];
        const std::size_t colon = local.find(':');
        std::uint32_t localAddress = 0;
        std::uint16_t localPort = 0;
        std::uint64_t inode = 0;
        if (colon == std::string_view::npos ||
            !parseNumber(local.substr(0, colon), localAddress, 16) ||
            !parseNumber(local.substr(colon + 1), localPort, 16) ||
            !parseNumber(std::string_view(columns[kInodeColumn]), inode, 10)) {
            continue;  // the heading, or a line this reader does not understand
        }
        if (localPort == port && (localAddress == htonl(INADDR_ANY) || localAddress == address)) {
            inodes.push_back(inode);
        }
    }
    return inodes;
}

std::vector<std::uint64_t> foreignUdpPortHolders(UdpPortOpener& opener,
                                                 const std::string& interfaceName,
                                                 std::uint32_t interfaceAddress,
                                                 std::uint16_t port) {
    if (!opener.PortTaken(interfaceName, interfaceAddress, port)) {
        return {};
    }
    // This process's sockets first: one of ours that closes meanwhile (a listener of a mode
    // just left) is then either in both lists or in neither, never taken for another's.
    const std::vector<std::uint64_t> own = socketInodesOfThisProcess();
    std::vector<std::uint64_t> holders = udpSocketInodes(readUdpTable(), port, interfaceAddress);
    std::erase_if(holders, [&](std::uint64_t inode) {
        return std::find(own.begin(), own.end(), inode) != own.end();
    });
    return holders;
}

}  // namespace vantor
