#include "net/IcmpErrorQueue.h"

#include <linux/errqueue.h>
#include <sys/socket.h>

#include <array>
#include <cstdint>
#include <cstring>

namespace vantor {

namespace {

// The part of the offending datagram that comes back with the error, and room for the
// control records (the extended error and the offender's address).
constexpr std::size_t kErrorPayloadSize = 64;
constexpr std::size_t kErrorControlSize = 512;

}  // namespace

std::optional<QueuedIcmpError> takeQueuedIcmpError(int fd) {
    std::array<std::uint8_t, kErrorPayloadSize> payload{};
    alignas(cmsghdr) std::array<unsigned char, kErrorControlSize> control{};
    QueuedIcmpError taken;
    iovec part{payload.data(), payload.size()};
    msghdr message{};
    message.msg_name = &taken.peer;
    message.msg_namelen = sizeof taken.peer;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control.data();
    message.msg_controllen = control.size();
    if (::recvmsg(fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) {
        return std::nullopt;
    }
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_RECVERR &&
            header->cmsg_len >= CMSG_LEN(sizeof(sock_extended_err))) {
            sock_extended_err extended{};
            std::memcpy(&extended, CMSG_DATA(header), sizeof extended);
            taken.error = static_cast<int>(extended.ee_errno);
        }
    }
    return taken;
}

}  // namespace vantor
