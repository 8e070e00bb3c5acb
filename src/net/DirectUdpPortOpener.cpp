#include "net/DirectUdpPortOpener.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "net/SocketAddress.h"

namespace vantor {
namespace {

UniqueFd fail(int& error) {
    error = errno;
    return UniqueFd();
}

bool bindTo(int fd, std::uint32_t address, std::uint16_t port) {
    const sockaddr_in local = socketAddress(address, port);
    return ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

bool bindToDevice(int fd, const std::string& interfaceName) {
    return ::setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, interfaceName.c_str(),
                        static_cast<socklen_t>(interfaceName.size() + 1)) == 0;
}

UniqueFd datagramSocket() {
    return UniqueFd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
}

}  // namespace

DirectUdpPortOpener& DirectUdpPortOpener::Shared() {
    static DirectUdpPortOpener opener;
    return opener;
}

UniqueFd DirectUdpPortOpener::OpenBound(std::uint32_t address, std::uint16_t port, int& error) {
    UniqueFd fd = datagramSocket();
    if (!fd || !bindTo(fd.get(), address, port)) {
        return fail(error);
    }
    return fd;
}

UniqueFd DirectUdpPortOpener::OpenOnInterface(const std::string& interfaceName,
                                              std::uint32_t /*interfaceAddress*/,
                                              std::uint16_t port, int& error) {
    UniqueFd fd = datagramSocket();
    const int reuse = 1;
    if (!fd || ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) != 0 ||
        !bindToDevice(fd.get(), interfaceName) || !bindTo(fd.get(), htonl(INADDR_ANY), port)) {
        return fail(error);
    }
    return fd;
}

bool DirectUdpPortOpener::PortTaken(const std::string& interfaceName,
                                    std::uint32_t /*interfaceAddress*/, std::uint16_t port) {
    return ProbeBind(interfaceName, port) == EADDRINUSE;
}

int DirectUdpPortOpener::ProbeBind(const std::string& interfaceName, std::uint16_t port) {
    const UniqueFd probe = datagramSocket();
    if (!probe || !bindToDevice(probe.get(), interfaceName) ||
        !bindTo(probe.get(), htonl(INADDR_ANY), port)) {
        return errno;
    }
    return 0;
}

}  // namespace vantor
