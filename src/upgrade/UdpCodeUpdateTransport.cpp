#include "upgrade/UdpCodeUpdateTransport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/Ipv4.h"

namespace vantor {

UdpCodeUpdateTransport::UdpCodeUpdateTransport(Key, UniqueFd socket, std::uint32_t address,
                                               std::uint16_t port, int wakeFd)
    : socket_(std::move(socket)), address_(address), port_(port), wakeFd_(wakeFd) {}

std::unique_ptr<UdpCodeUpdateTransport> UdpCodeUpdateTransport::open(const std::string& deviceIp,
                                                                     std::uint16_t port,
                                                                     int wakeFd) {
    const auto address = Ipv4::parse(deviceIp);
    if (!address) {
        return nullptr;
    }
    UniqueFd socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!socket.valid()) {
        return nullptr;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = 0;
    if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        return nullptr;
    }
    return std::make_unique<UdpCodeUpdateTransport>(Key{}, std::move(socket), *address, port,
                                                    wakeFd);
}

bool UdpCodeUpdateTransport::send(std::span<const std::uint8_t> datagram) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address_;
    to.sin_port = htons(port_);
    ssize_t sent = -1;
    do {
        sent = ::sendto(socket_.get(), datagram.data(), datagram.size(), 0,
                        reinterpret_cast<const sockaddr*>(&to), sizeof to);
    } while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(datagram.size());
}

int UdpCodeUpdateTransport::receive(std::span<std::uint8_t> buffer,
                                    std::chrono::milliseconds timeout) {
    pollfd fds[2] = {{socket_.get(), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    const nfds_t count = wakeFd_ >= 0 ? 2 : 1;
    const int ready = ::poll(fds, count, static_cast<int>(std::max<long long>(0, timeout.count())));
    if (ready < 0) {
        return errno == EINTR ? 0 : -1;
    }
    if (ready == 0 || (fds[0].revents & (POLLIN | POLLERR)) == 0) {
        return 0;  // the time ran out, or a stop request woke the wait
    }
    std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
    const ssize_t got = ::recv(socket_.get(), buffer.data(), buffer.size(), 0);
    return got < 0 ? -1 : static_cast<int>(got);
}

}  // namespace vantor
