#include "helper/SystemHelperHost.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>

#include "hostnet/Capabilities.h"
#include "hostnet/HostToolLimits.h"
#include "hostnet/LinuxToolBackend.h"
#include "hostnet/SystemToolRunner.h"
#include "hostnet/ToolFailureText.h"
#include "net/DirectUdpPortOpener.h"

namespace vantor {
namespace {

constexpr int kSocketFlags = SOCK_CLOEXEC | SOCK_NONBLOCK;

HostSocket socketOr(UniqueFd descriptor, int error) {
    if (!descriptor) {
        return HostSocket{UniqueFd(), error};
    }
    return HostSocket{std::move(descriptor), 0};
}

}  // namespace

std::vector<InterfaceList::Entry> SystemHelperHost::Interfaces() {
    return InterfaceList::read();
}

// The sockets are opened as the program opens them when it runs as root.
HostSocket SystemHelperHost::OpenUdp(std::uint32_t address, std::uint16_t port) {
    int error = 0;
    UniqueFd fd = DirectUdpPortOpener::Shared().OpenBound(address, port, error);
    return socketOr(std::move(fd), error);
}

HostSocket SystemHelperHost::OpenUdpOnInterface(const std::string& interfaceName,
                                                std::uint16_t port) {
    int error = 0;
    UniqueFd fd = DirectUdpPortOpener::Shared().OpenOnInterface(interfaceName, 0, port, error);
    return socketOr(std::move(fd), error);
}

int SystemHelperHost::ProbeUdpPort(const std::string& interfaceName, std::uint16_t port) {
    return DirectUdpPortOpener::ProbeBind(interfaceName, port);
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
