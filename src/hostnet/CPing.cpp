#include "hostnet/CPing.h"

#include <linux/icmp.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <random>
#include <vector>

#include "base/Ipv4.h"
#include "base/UniqueFd.h"
#include "hostnet/EchoPacket.h"
#include "hostnet/IcmpWire.h"

namespace vantor {
namespace {

using Clock = std::chrono::steady_clock;

struct IcmpSocket {
    UniqueFd fd;
    EchoFraming framing = EchoFraming::IcmpOnly;
};

std::optional<IcmpSocket> openIcmpSocket(IcmpSocketKind kind, const RawIcmpSource& rawSource) {
    if (kind != IcmpSocketKind::Raw) {
        UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP));
        if (fd.valid()) {
            return IcmpSocket{std::move(fd), EchoFraming::IcmpOnly};
        }
        if (kind == IcmpSocketKind::Datagram) {
            return std::nullopt;
        }
    }
    UniqueFd fd = rawSource ? rawSource()
                            : UniqueFd(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
    if (!fd.valid()) {
        return std::nullopt;
    }
    // Only echo replies interest us; the kernel drops every other ICMP type for this socket.
    icmp_filter filter{~(1U << ICMP_ECHOREPLY)};
    ::setsockopt(fd.get(), SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
    return IcmpSocket{std::move(fd), EchoFraming::WithIpHeader};
}

bool setIntOption(int fd, int level, int name, int value) {
    return ::setsockopt(fd, level, name, &value, sizeof value) == 0;
}

// Identifiers and sequence numbers are process-wide on purpose: they keep the replies of
// concurrent calls apart. The identifier of a raw socket's requests is random per process, so
// that two processes sharing a host do not collide either; a datagram socket's identifier is
// chosen by the kernel.
std::uint16_t processIdentifier() {
    static const std::uint16_t identifier = [] {
        std::random_device random;
        return static_cast<std::uint16_t>(random());
    }();
    return identifier;
}

std::uint16_t nextSequence() {
    static std::atomic<std::uint32_t> counter{0};
    return static_cast<std::uint16_t>(counter.fetch_add(1) + 1);
}

}  // namespace

std::optional<std::uint32_t> CPing::ResolveHost(const std::string& host) {
    if (const auto dotted = Ipv4::parse(host)) {
        return dotted;
    }
    if (host.empty()) {
        return std::nullopt;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return std::nullopt;
    }
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(found, &freeaddrinfo);
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addrlen >= sizeof(sockaddr_in)) {
            sockaddr_in address{};
            std::copy_n(reinterpret_cast<const unsigned char*>(entry->ai_addr), sizeof address,
                        reinterpret_cast<unsigned char*>(&address));
            return address.sin_addr.s_addr;
        }
    }
    return std::nullopt;
}

bool CPing::CanOpenSocket(IcmpSocketKind kind, const RawIcmpSource& rawSource) {
    return openIcmpSocket(kind, rawSource).has_value();
}

bool CPing::PingUsingICMP(const std::string& host, PingReply& reply, int timeToLive, int timeoutMs,
                          std::size_t dataSize, int typeOfService, bool dontFragment) {
    const auto target = ResolveHost(host);
    if (!target) {
        return false;
    }
    auto icmp = openIcmpSocket(kind_, rawSource_);
    if (!icmp) {
        return false;
    }
    const int fd = icmp->fd.get();
    if (!setIntOption(fd, IPPROTO_IP, IP_TTL, timeToLive) ||
        !setIntOption(fd, IPPROTO_IP, IP_TOS, typeOfService) ||
        !setIntOption(fd, IPPROTO_IP, IP_MTU_DISCOVER,
                      dontFragment ? IP_PMTUDISC_DO : IP_PMTUDISC_DONT)) {
        return false;
    }

    std::uint16_t identifier = processIdentifier();
    const std::uint16_t sequence = nextSequence();
    const std::vector<std::uint8_t> request =
        EchoPacket::BuildRequest(identifier, sequence, dataSize);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = *target;
    const auto sent = Clock::now();
    if (::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to) != static_cast<ssize_t>(request.size())) {
        return false;
    }
    if (icmp->framing == EchoFraming::IcmpOnly) {
        // A datagram ICMP socket puts its own "port" into the identifier field of what it
        // sends, and delivers only replies that carry it.
        sockaddr_in local{};
        socklen_t length = sizeof local;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
            return false;
        }
        identifier = ntohs(local.sin_port);
    }

    // Room for the largest IP header and one byte more than we sent, so that a reply with
    // too much data shows up as such.
    std::vector<std::uint8_t> buffer(kIpv4MaxHeaderSize + kIcmpEchoHeaderSize + dataSize + 1);
    const auto deadline = sent + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto now = Clock::now();
        if (now >= deadline) {
            return false;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        pollfd watch{fd, POLLIN, 0};
        const int ready = ::poll(&watch, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) {
            return false;
        }
        if (ready <= 0) {
            continue;
        }
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t got = ::recvfrom(fd, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                       reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (got < 0) {
            // An error report queued on the socket (an unreachable host, say) is no answer;
            // keep waiting for one until the time-out, as a silent host would make us.
            continue;
        }
        const std::span<const std::uint8_t> packet(buffer.data(), static_cast<std::size_t>(got));
        if (EchoPacket::CheckReply(packet, icmp->framing, identifier, sequence, dataSize) ==
            EchoError::None) {
            reply.address = from.sin_addr.s_addr;
            reply.roundTripTime = static_cast<std::uint32_t>(
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent).count());
            reply.status = 0;
            return true;
        }
    }
}

}  // namespace vantor
