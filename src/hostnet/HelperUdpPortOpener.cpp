#include "hostnet/HelperUdpPortOpener.h"

#include <errno.h>

#include "net/DirectUdpPortOpener.h"
#include "net/WellKnownPorts.h"

namespace vantor {
namespace {

bool helperBinds(std::uint16_t port) {
    return port == kDhcpServerPort || port == kTftpPort;
}

}  // namespace

UniqueFd HelperUdpPortOpener::OpenBound(std::uint32_t address, std::uint16_t port, int& error) {
    if (!helperBinds(port)) {
        return DirectUdpPortOpener::Shared().OpenBound(address, port, error);
    }
    return open(HelperRequestKind::openUdp, address, port, error);
}

UniqueFd HelperUdpPortOpener::OpenOnInterface(const std::string& interfaceName,
                                              std::uint32_t interfaceAddress, std::uint16_t port,
                                              int& error) {
    if (!helperBinds(port)) {
        return DirectUdpPortOpener::Shared().OpenOnInterface(interfaceName, interfaceAddress, port,
                                                             error);
    }
    return open(HelperRequestKind::openUdpOnInterface, interfaceAddress, port, error);
}

bool HelperUdpPortOpener::PortTaken(const std::string& interfaceName,
                                    std::uint32_t interfaceAddress, std::uint16_t port) {
    if (!helperBinds(port)) {
        return DirectUdpPortOpener::Shared().PortTaken(interfaceName, interfaceAddress, port);
    }
    HelperRequest request{HelperRequestKind::probeUdpPort};
    request.localAddress = interfaceAddress;
    request.port = port;
    const auto answer = helper_.Ask(request, nullptr);
    return answer && answer->status == HelperStatus::done &&
           (answer->flags & kHelperPortTaken) != 0;
}

UniqueFd HelperUdpPortOpener::open(HelperRequestKind kind, std::uint32_t address,
                                   std::uint16_t port, int& error) {
    HelperRequest request{kind};
    // The helper names the interface by its address, as the socket's owner does.
    (kind == HelperRequestKind::openUdp ? request.address : request.localAddress) = address;
    request.port = port;
    UniqueFd descriptor;
    const auto answer = helper_.Ask(request, &descriptor);
    if (!answer) {
        error = EPIPE;  // the helper is gone
    } else if (answer->status == HelperStatus::refused) {
        error = EPERM;
    } else if (answer->status == HelperStatus::failed || !descriptor) {
        error = answer->error != 0 ? static_cast<int>(answer->error) : EIO;
    } else {
        return descriptor;
    }
    return UniqueFd();
}

}  // namespace vantor
