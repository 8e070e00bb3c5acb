#include "helper/SystemHelperHost.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>

#include "hostnet/Capabilities.h"
#include "hostnet/HostToolLimits.h"
#include "hostnet/LinuxToolBackend.h"
#include "hostnet/SystemToolRunner.h"
#include "hostnet/ToolFailureText.h"

namespace vantor {
namespace {

constexpr int kSocketFlags = SOCK_CLOEXEC | SOCK_NONBLOCK;

sockaddr_in socketAddress(std::uint32_t address, std::uint16_t port) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = address;
    local.sin_port = htons(port);
    return local;
}

int bindTo(int fd, std::uint32_t address, std::uint16_t port) {
    const sockaddr_in local = socketAddress(address, port);
    return ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 ? 0 : errno;
}

int setFlag(int fd, int name) {
    const int on = 1;
    return ::setsockopt(fd, SOL_SOCKET, name, &on, sizeof on) == 0 ? 0 : errno;
}

// Confines the socket to the interface's datagrams; needs CAP_NET_RAW before Linux 5.7
// (socket(7), SO_BINDTODEVICE).
int bindToDevice(int fd, const std::string& interfaceName) {
    return ::setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, interfaceName.c_str(),
                        static_cast<socklen_t>(interfaceName.size() + 1)) == 0
               ? 0
               : errno;
}

HostSocket socketOr(UniqueFd descriptor, int error) {
    if (error != 0) {
        return HostSocket{UniqueFd(), error};
    }
    return HostSocket{std::move(descriptor), 0};
}

}  // namespace

std::vector<InterfaceList::Entry> SystemHelperHost::Interfaces() {
    return InterfaceList::read();
}

HostSocket SystemHelperHost::OpenUdp(std::uint32_t address, std::uint16_t port) {
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | kSocketFlags, 0));
    if (!fd) {
        return HostSocket{UniqueFd(), errno};
    }
    const int error = bindTo(fd.get(), address, port);
    return socketOr(std::move(fd), error);
}

HostSocket SystemHelperHost::OpenUdpOnInterface(const std::string& interfaceName,
                                                std::uint16_t port) {
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | kSocketFlags, 0));
    if (!fd) {
        return HostSocket{UniqueFd(), errno};
    }
    // SO_REUSEADDR lets the sockets of two addresses of one interface share the port.
    int error = setFlag(fd.get(), SO_REUSEADDR);
    if (error == 0) {
        error = bindToDevice(fd.get(), interfaceName);
    }
    if (error == 0) {
        error = bindTo(fd.get(), htonl(INADDR_ANY), port);
    }
    return socketOr(std::move(fd), error);
}

int SystemHelperHost::ProbeUdpPort(const std::string& interfaceName, std::uint16_t port) {
    const UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | kSocketFlags, 0));
    if (!fd) {
        return errno;
    }
    // Without SO_REUSEADDR only the sockets that would share this interface's datagrams
    // (bound to no device or to this one) make the bind fail.
    const int error = bindToDevice(fd.get(), interfaceName);
    return error != 0 ? error : bindTo(fd.get(), htonl(INADDR_ANY), port);
}

bool SystemHelperHost::DatagramIcmpAllowed() {
    return UniqueFd(::socket(AF_INET, SOCK_DGRAM | kSocketFlags, IPPROTO_ICMP)).valid();
}

HostSocket SystemHelperHost::OpenRawIcmp() {
    UniqueFd fd(::socket(AF_INET, SOCK_RAW | kSocketFlags, IPPROTO_ICMP));
    const int error = fd ? 0 : errno;
    return HostSocket{std::move(fd), error};
}

ToolResult SystemHelperHost::RunIp(const std::vector<std::string>& arguments) {
    ToolCommand command;
    for (const std::string_view path : kIpToolPaths) {
        if (LinuxToolBackend::IsExecutableFile(std::string(path))) {
            command.emplace_back(path);
            break;
        }
    }
    if (command.empty()) {
        std::string paths;
        for (const std::string_view path : kIpToolPaths) {
            paths += (paths.empty() ? "" : ", ") + std::string(path);
        }
        return {ToolStatus::ToolNotFound, "ip: not found at " + paths};
    }
    command.insert(command.end(), arguments.begin(), arguments.end());
    std::string output;
    if (SystemToolRunner(toolPoll_).Run(command, output)) {
        return {};
    }
    return {ToolStatus::Failed, ToolFailureText(command, output)};
}

std::uint64_t SystemHelperHost::EffectiveCapabilities() {
    const auto sets = Capabilities::OfThisThread();
    return sets ? sets->effective : 0;
}

}  // namespace vantor
