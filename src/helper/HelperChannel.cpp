#include "helper/HelperChannel.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace vantor {
namespace {

// One byte more than a request: a longer record shows as too long, not as a request.
constexpr std::size_t kReceiveBufferSize = kHelperRequestSize + 1;
// Room to see, and close, descriptors the program should never send.
constexpr std::size_t kMaxForeignDescriptors = 8;
constexpr std::size_t kControlBufferSize = CMSG_SPACE(sizeof(int) * kMaxForeignDescriptors);

// Closes whatever descriptors rode on a message: the helper keeps none of the program's.
void closeReceivedDescriptors(msghdr& message) {
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS) {
            continue;
        }
        const std::size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = 0; i < count; ++i) {
            int fd = -1;
            std::memcpy(&fd, CMSG_DATA(header) + i * sizeof fd, sizeof fd);
            ::close(fd);
        }
    }
}

bool wouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

}  // namespace

HelperChannel::Event HelperChannel::waitFor(short events) const {
    std::array<pollfd, 2> watched{{{socket_, events, 0}, {signals_, POLLIN, 0}}};
    if (::poll(watched.data(), watched.size(), -1) < 0 && errno != EINTR) {
        return Event::bad;
    }
    if (watched[1].revents != 0) {
        return Event::terminated;
    }
    return Event::ok;
}

HelperChannel::Event HelperChannel::Receive(HelperRequest& request) {
    while (true) {
        if (const Event waited = waitFor(POLLIN); waited != Event::ok) {
            return waited;
        }
        std::array<std::uint8_t, kReceiveBufferSize> buffer{};
        alignas(cmsghdr) std::array<char, kControlBufferSize> control{};
        iovec part{buffer.data(), buffer.size()};
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control.data();
        message.msg_controllen = control.size();
        const ssize_t length = ::recvmsg(socket_, &message, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
        if (length < 0 && wouldBlock(errno)) {
            continue;
        }
        if (length < 0) {
            return Event::bad;
        }
        const bool extra =
            message.msg_controllen != 0 || (message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) != 0;
        closeReceivedDescriptors(message);
        // A record of no bytes reads as the end too: SOCK_SEQPACKET cannot tell them apart,
        // and either way the program is done with the helper.
        if (length == 0) {
            return Event::closed;
        }
        const auto parsed = HelperRecord::ParseRequest(
            std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(length)));
        if (extra || !parsed) {
            return Event::bad;
        }
        request = *parsed;
        return Event::ok;
    }
}

HelperChannel::Event HelperChannel::Send(HelperReply reply) {
    std::vector<std::uint8_t> record = HelperRecord::BuildAnswer(reply.answer);
    iovec part{record.data(), record.size()};
    alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(int))> control{};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    if (reply.descriptor) {
        message.msg_control = control.data();
        message.msg_controllen = control.size();
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        const int fd = reply.descriptor.get();
        std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
    }
    while (true) {
        if (::sendmsg(socket_, &message, MSG_DONTWAIT | MSG_NOSIGNAL) >= 0) {
            return Event::ok;
        }
        if (errno == EPIPE || errno == ECONNRESET) {
            return Event::closed;  // the program went away while the helper worked for it
        }
        if (!wouldBlock(errno)) {
            return Event::bad;
        }
        if (const Event waited = waitFor(POLLOUT); waited != Event::ok) {
            return waited;
        }
    }
}

}  // namespace vantor
