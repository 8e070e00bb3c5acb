#include "upgrade/UdpCodeUpdateTransport.h"

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "base/Ipv4.h"
#include "net/IcmpErrorQueue.h"

namespace vantor {

namespace {

// Takes the oldest ICMP error queued on the socket (IP_RECVERR) and clears the socket error it
// set; its errno, or 0 when none was queued.
int takeQueuedError(int fd) {
    const std::optional<QueuedIcmpError> queued = takeQueuedIcmpError(fd);
    const int error = queued ? queued->error : 0;
    // The pending socket error would otherwise fail the next send or receive a second time.
    int pending = 0;
    socklen_t size = sizeof pending;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &size);
    return error != 0 ? error : pending;
}

}  // namespace

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
    // The socket stays unconnected (replies are taken from any sender), and such a socket
    // hears of ICMP errors only with IP_RECVERR: without it a device with nothing on the
    // update port would be found out only after every resend had gone unanswered.
    const int on = 1;
    if (::setsockopt(socket.get(), IPPROTO_IP, IP_RECVERR, &on, sizeof on) != 0) {
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
    for (int attempt = 0;; ++attempt) {
        sent = ::sendto(socket_.get(), datagram.data(), datagram.size(), 0,
                        reinterpret_cast<const sockaddr*>(&to), sizeof to);
        // A pending ICMP error of an earlier datagram fails the next send once on Linux; it
        // stays queued for the next receive to report.
        if (sent < 0 && (errno == EINTR || (errno == ECONNREFUSED && attempt == 0))) {
            continue;
        }
        break;
    }
    return sent == static_cast<ssize_t>(datagram.size());
}

int UdpCodeUpdateTransport::receive(std::span<std::uint8_t> buffer,
                                    std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::max(timeout, std::chrono::milliseconds{0});
    pollfd fds[2] = {{socket_.get(), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    const nfds_t count = wakeFd_ >= 0 ? 2 : 1;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        const int ready =
            ::poll(fds, count, static_cast<int>(std::max<long long>(0, left.count())));
        if (ready < 0) {
            return errno == EINTR ? 0 : -1;
        }
        if (ready == 0 || (fds[0].revents & (POLLIN | POLLERR)) == 0) {
            return 0;  // the time ran out, or a stop request woke the wait
        }
        if ((fds[0].revents & POLLERR) != 0) {
            // A port unreachable (RFC 1122 3.2.2.1) says nothing listens on the update port:
            // no resend can be answered. Other ICMP errors (a host unreachable while the
            // device restarts) may pass; the wait goes on for the rest of its time.
            if (takeQueuedError(socket_.get()) == ECONNREFUSED) {
                return -1;
            }
            continue;
        }
        std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
        const ssize_t got = ::recv(socket_.get(), buffer.data(), buffer.size(), 0);
        return got < 0 ? -1 : static_cast<int>(got);
    }
}

}  // namespace vantor
