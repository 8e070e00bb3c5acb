#include "net/CTimedSocket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/errqueue.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <thread>
#include <utility>

#include "base/InterfaceList.h"
#include "net/DirectUdpPortOpener.h"
#include "net/IcmpErrorQueue.h"
#include "net/SocketAddress.h"
#include "net/UdpPortHolders.h"

namespace vantor {
namespace {

SocketError errorKindOf(int systemError) {
    switch (systemError) {
        case ECONNREFUSED:
        case ECONNRESET:
            return SocketError::connectionReset;
        case ECONNABORTED:
            return SocketError::connectionAborted;
        case EMSGSIZE:
            return SocketError::messageTooLong;
        default:
            return SocketError::other;
    }
}

SocketResult failure(int systemError) {
    SocketResult result;
    result.error = errorKindOf(systemError);
    result.systemError = systemError;
    return result;
}

bool setIntOption(int fd, int level, int name, int value) {
    return setsockopt(fd, level, name, &value, sizeof value) == 0;
}

// How many times, spread over the patience, a foreign holder of a server's port is looked for.
constexpr int kForeignHolderChecks = 5;

// How many times, spread over the send patience, a send is tried again when poll() cannot
// tell when room comes (ENOBUFS, a pending error): at least a millisecond apart.
constexpr int kSendRetriesWithoutRoomSignal = 100;

// The send buffer is full (EAGAIN) or a queue below it is: an interface's transmit queue, or
// an unresolved neighbour's (ENOBUFS, reported because IP_RECVERR is on).
bool isFullBuffer(int systemError) {
    return systemError == EAGAIN || systemError == EWOULDBLOCK || systemError == ENOBUFS;
}

// A wait as poll() takes it, rounded up so that poll() never wakes just before the end and
// spins, and short of int's end.
int pollMillis(std::chrono::steady_clock::duration wait) {
    constexpr long long kLongestPoll = 1'000'000'000;
    const auto millis = std::chrono::ceil<Millis>(wait).count();
    return static_cast<int>(std::clamp<long long>(millis, 0, kLongestPoll));
}

// Interface sockets of this process are made one at a time: the probe for another holder of a
// port binds without SO_REUSEADDR, and a sibling listener binding the same port on the same
// interface meanwhile would fail on it (or the probe on the sibling's new socket).
std::mutex& interfaceBindMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

CTimedSocket::CTimedSocket() : CTimedSocket(DirectUdpPortOpener::Shared()) {}

CTimedSocket::CTimedSocket(UdpPortOpener& opener)
    : opener_(opener), cancelEvent_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!cancelEvent_) {
        lastError_ = errno;
    }
}

CTimedSocket::~CTimedSocket() = default;

bool CTimedSocket::adopt(UniqueFd socket, int error, int interfaceIndex) {
    Close();
    if (!cancelEvent_) {
        return false;  // lastError_ was set by the constructor
    }
    if (!socket) {
        lastError_ = error;
        return false;
    }
    // Report ICMP errors on this unconnected socket as the next receive's failure, as the
    // platform the product came from does (its "connection reset" on UDP). The socket may come
    // from the network helper: it is made non-blocking here, whoever made it.
    const int flags = fcntl(socket.get(), F_GETFL);
    if (flags < 0 || fcntl(socket.get(), F_SETFL, flags | O_NONBLOCK) != 0 ||
        !setIntOption(socket.get(), IPPROTO_IP, IP_RECVERR, 1)) {
        lastError_ = errno;
        return false;
    }
    socket_ = std::move(socket);
    interfaceIndex_ = interfaceIndex;
    return true;
}

bool CTimedSocket::Create(std::uint32_t address, std::uint16_t port) {
    int error = 0;
    UniqueFd opened = opener_.OpenBound(address, port, error);
    if (!adopt(std::move(opened), error, 0)) {
        return false;
    }
    interfaceAddress_ = address;
    return true;
}

bool CTimedSocket::CreateOnInterface(std::uint32_t interfaceAddress, std::uint16_t port) {
    return createOnInterface(interfaceAddress, port, false);
}

bool CTimedSocket::CreateOnInterfaceAlone(std::uint32_t interfaceAddress, std::uint16_t port,
                                          Millis patience) {
    // Looked at again a few times, with the bind lock released in between: a rival server
    // holds the port for good, a child's copy of our socket is gone once the child runs.
    const auto deadline = std::chrono::steady_clock::now() + patience;
    const Millis recheck = std::max(Millis(1), patience / kForeignHolderChecks);
    while (true) {
        if (createOnInterface(interfaceAddress, port, true) || lastError_ != EADDRINUSE ||
            std::chrono::steady_clock::now() >= deadline) {
            return IsOpen();
        }
        std::this_thread::sleep_for(recheck);
    }
}

bool CTimedSocket::createOnInterface(std::uint32_t interfaceAddress, std::uint16_t port,
                                     bool alone) {
    const std::lock_guard lock(interfaceBindMutex());
    const auto owner = InterfaceList::owning(interfaceAddress);
    if (!owner || owner->index == 0) {
        Close();
        lastError_ = ENODEV;
        return false;
    }
    const std::string& name = owner->name;
    if (alone && !foreignUdpPortHolders(opener_, name, interfaceAddress, port).empty()) {
        Close();
        lastError_ = EADDRINUSE;
        return false;
    }
    // The device binding is what confines the socket to its interface; SO_REUSEADDR lets a
    // second address of the same interface bind the port as well (both then see its
    // broadcasts, as sockets bound to the two addresses would).
    int error = 0;
    UniqueFd opened = opener_.OpenOnInterface(name, interfaceAddress, port, error);
    if (!adopt(std::move(opened), error, static_cast<int>(owner->index))) {
        return false;
    }
    interfaceName_ = name;
    interfaceAddress_ = interfaceAddress;
    return true;
}

std::vector<std::uint64_t> CTimedSocket::ForeignHoldersOfPort() const {
    const auto local = localEndpoint();
    if (interfaceName_.empty() || !local) {
        return {};
    }
    // Under the bind lock: the probe holds the port for a moment without SO_REUSEADDR, which
    // would make a sibling listener's bind on this interface fail meanwhile.
    const std::lock_guard lock(interfaceBindMutex());
    return foreignUdpPortHolders(opener_, interfaceName_, interfaceAddress_, local->port);
}

bool CTimedSocket::SetBroadcast(bool on) {
    if (!socket_) {
        lastError_ = EBADF;
        return false;
    }
    if (!setIntOption(socket_.get(), SOL_SOCKET, SO_BROADCAST, on ? 1 : 0)) {
        lastError_ = errno;
        return false;
    }
    return true;
}

void CTimedSocket::Close() {
    socket_.reset();
    interfaceName_.clear();
    interfaceIndex_ = 0;
    interfaceAddress_ = 0;
}

std::optional<Endpoint> CTimedSocket::localEndpoint() const {
    if (!socket_) {
        return std::nullopt;
    }
    sockaddr_in local{};
    socklen_t size = sizeof local;
    if (getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&local), &size) != 0) {
        return std::nullopt;
    }
    return endpointOf(local);
}

SocketResult CTimedSocket::SendTo(std::span<const std::uint8_t> bytes, Endpoint to) {
    if (!socket_) {
        return failure(EBADF);
    }
    sockaddr_in peer = socketAddress(to.address, to.port);
    iovec part{const_cast<std::uint8_t*>(bytes.data()), bytes.size()};
    msghdr message{};
    message.msg_name = &peer;
    message.msg_namelen = sizeof peer;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    // An interface socket is bound to the wildcard address: name the interface and the source
    // address for every datagram, so that a broadcast leaves by this interface and from
    // this interface's address even when the interface has several.
    alignas(cmsghdr) std::array<unsigned char, CMSG_SPACE(sizeof(in_pktinfo))> control{};
    if (interfaceIndex_ != 0) {
        message.msg_control = control.data();
        message.msg_controllen = control.size();
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = IPPROTO_IP;
        header->cmsg_type = IP_PKTINFO;
        header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_ifindex = interfaceIndex_;
        info.ipi_spec_dst.s_addr = interfaceAddress_;
        std::memcpy(CMSG_DATA(header), &info, sizeof info);
    }
    const int fd = socket_.get();
    SocketResult result =
        SendPatiently([fd, &message] { return sendmsg(fd, &message, MSG_NOSIGNAL); }, fd,
                      cancelEvent_.get(), sendPatience_);
    if (result.ok()) {
        result.peer = to;
    } else if (result.systemError != 0) {
        lastError_ = result.systemError;
    }
    return result;
}

SocketResult CTimedSocket::SendPatiently(const SendAttempt& attempt, int socket, int cancelEvent,
                                         Millis patience) {
    const Clock::time_point deadline = Clock::now() + std::max(patience, Millis{0});
    const Millis pause = std::max(Millis{1}, patience / kSendRetriesWithoutRoomSignal);
    bool refusalRetried = false;
    // A queued ICMP error makes poll() report the socket at once (POLLERR) whether or not it
    // has room, and the error is the next receive's to take: then only pauses are left.
    bool errorPending = false;
    for (;;) {
        const ssize_t sent = attempt();
        if (sent >= 0) {
            SocketResult result;
            result.error = SocketError::none;
            result.length = static_cast<std::size_t>(sent);
            return result;
        }
        const int error = errno;
        if (error == EINTR) {
            continue;
        }
        // A pending ICMP error of an earlier datagram makes the next send fail on Linux; it
        // belongs to that datagram, and stays queued for the next receive to report.
        if (error == ECONNREFUSED && !refusalRetried) {
            refusalRetried = true;
            continue;
        }
        if (!isFullBuffer(error)) {
            return failure(error);
        }
        const Clock::duration left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) {
            return failure(error);
        }
        const bool awaitRoom = error != ENOBUFS && !errorPending;
        std::array<pollfd, 2> waits{};
        waits[0] = {awaitRoom ? socket : -1, POLLOUT, 0};  // poll() skips a negative descriptor
        waits[1] = {cancelEvent, POLLIN, 0};
        const Clock::duration wait = awaitRoom ? left : std::min<Clock::duration>(left, pause);
        const int ready = poll(waits.data(), waits.size(), pollMillis(wait));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return failure(errno);
        }
        if ((waits[1].revents & POLLIN) != 0) {
            SocketResult result;
            result.error = SocketError::interrupted;
            return result;
        }
        if ((waits[0].revents & POLLNVAL) != 0) {
            return failure(EBADF);
        }
        if (awaitRoom && ready == 0) {
            return failure(error);  // no room within the patience
        }
        errorPending = errorPending || (waits[0].revents & (POLLERR | POLLHUP)) != 0;
    }
}

bool CTimedSocket::RaiseSendBuffer(std::size_t bytes) {
    return raiseBuffer(SO_SNDBUFFORCE, SO_SNDBUF, bytes);
}

bool CTimedSocket::RaiseReceiveBuffer(std::size_t bytes) {
    return raiseBuffer(SO_RCVBUFFORCE, SO_RCVBUF, bytes);
}

bool CTimedSocket::raiseBuffer(int forcedOption, int option, std::size_t bytes) {
    if (!socket_) {
        lastError_ = EBADF;
        return false;
    }
    if (bufferSize(option) >= bytes) {
        return true;
    }
    // The kernel doubles the figure it is given, of which it takes at most INT_MAX / 2.
    const int asked = static_cast<int>(
        std::min<std::size_t>(bytes - bytes / 2, std::numeric_limits<int>::max() / 2));
    const int fd = socket_.get();
    if (!setIntOption(fd, SOL_SOCKET, forcedOption, asked) &&
        !setIntOption(fd, SOL_SOCKET, option, asked)) {
        lastError_ = errno;
        return false;
    }
    return bufferSize(option) >= bytes;
}

std::size_t CTimedSocket::sendBufferSize() const {
    return bufferSize(SO_SNDBUF);
}

std::size_t CTimedSocket::bufferSize(int option) const {
    int size = 0;
    socklen_t length = sizeof size;
    if (!socket_ || getsockopt(socket_.get(), SOL_SOCKET, option, &size, &length) != 0) {
        return 0;
    }
    return static_cast<std::size_t>(std::max(size, 0));
}

unsigned CTimedSocket::SetReceiveTimeout(Millis period) {
    const std::lock_guard lock(timerMutex_);
    if (timerId_ != 0) {
        return timerId_;
    }
    lastTimerId_ = lastTimerId_ == ~0U ? 1 : lastTimerId_ + 1;
    timerId_ = lastTimerId_;
    deadline_ = Clock::now() + std::max(period, Millis{0});
    return timerId_;
}

bool CTimedSocket::ClearReceiveTimeout() {
    const std::lock_guard lock(timerMutex_);
    const bool wasArmed = timerId_ != 0;
    timerId_ = 0;
    return wasArmed;
}

unsigned CTimedSocket::timerId() const {
    const std::lock_guard lock(timerMutex_);
    return timerId_;
}

void CTimedSocket::CancelBlockingCall() {
    if (cancelEvent_) {
        const std::uint64_t one = 1;
        // The only failure is a counter about to overflow, which still wakes the receive.
        [[maybe_unused]] const ssize_t written = ::write(cancelEvent_.get(), &one, sizeof one);
    }
}

int CTimedSocket::pollTimeout() const {
    const std::lock_guard lock(timerMutex_);
    if (timerId_ == 0) {
        return -1;
    }
    const auto left = deadline_ - Clock::now();
    if (left <= Clock::duration::zero()) {
        return 0;
    }
    return pollMillis(left);
}

bool CTimedSocket::expireIfDue() {
    const std::lock_guard lock(timerMutex_);
    if (timerId_ != 0 && Clock::now() >= deadline_) {
        timerId_ = 0;  // each arming fires once
        return true;
    }
    return false;
}

SocketResult CTimedSocket::ReceiveWithTimeout(std::span<std::uint8_t> buffer) {
    if (!socket_ || !cancelEvent_) {
        return failure(EBADF);
    }
    blocking_ = true;
    struct Unblock {
        std::atomic<bool>& flag;
        ~Unblock() { flag = false; }
    } unblock{blocking_};

    for (;;) {
        std::array<pollfd, 2> waits{};
        waits[0] = {socket_.get(), POLLIN, 0};
        waits[1] = {cancelEvent_.get(), POLLIN, 0};
        const int ready = poll(waits.data(), waits.size(), pollTimeout());
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            lastError_ = errno;
            return failure(lastError_);
        }
        if ((waits[1].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t read = ::read(cancelEvent_.get(), &count, sizeof count);
            SocketResult result;
            result.error = SocketError::interrupted;
            return result;
        }
        if ((waits[0].revents & POLLERR) != 0) {
            SocketResult queued = takeQueuedError();
            if (queued.error != SocketError::none) {
                return queued;
            }
        }
        if ((waits[0].revents & POLLIN) != 0) {
            SocketResult result = receiveOnce(buffer);
            if (result.error == SocketError::other && result.systemError == EAGAIN) {
                continue;  // another reader or a dropped checksum-failed datagram
            }
            return result;
        }
        if ((waits[0].revents & POLLNVAL) != 0) {
            return failure(EBADF);
        }
        if (ready == 0 && expireIfDue()) {
            SocketResult result;
            result.error = SocketError::interrupted;
            result.systemError = ETIMEDOUT;
            return result;
        }
    }
}

SocketResult CTimedSocket::receiveOnce(std::span<std::uint8_t> buffer) {
    sockaddr_in peer{};
    iovec part{buffer.data(), buffer.size()};
    msghdr message{};
    message.msg_name = &peer;
    message.msg_namelen = sizeof peer;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    // MSG_TRUNC makes the call return the datagram's real length, so that a datagram larger
    // than the buffer is reported instead of silently cut.
    const ssize_t received = recvmsg(socket_.get(), &message, MSG_TRUNC | MSG_DONTWAIT);
    if (received < 0) {
        const int error = errno;
        if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR) {
            SocketResult retry;
            retry.systemError = EAGAIN;
            return retry;
        }
        lastError_ = error;
        // The ICMP error that set the socket error is still queued: drop it so that it is
        // reported once, not again by the next receive.
        dropQueuedError();
        return failure(error);
    }
    SocketResult result;
    result.peer = endpointOf(peer);
    const auto size = static_cast<std::size_t>(received);
    if (size > buffer.size() || (message.msg_flags & MSG_TRUNC) != 0) {
        result.error = SocketError::messageTooLong;
        result.systemError = EMSGSIZE;
        result.length = buffer.size();
        return result;
    }
    result.error = SocketError::none;
    result.length = size;
    ClearReceiveTimeout();
    return result;
}

SocketResult CTimedSocket::takeQueuedError() {
    const std::optional<QueuedIcmpError> queued = takeQueuedIcmpError(socket_.get());
    if (!queued) {
        // Nothing queued: the error was the socket's own pending error.
        int pending = 0;
        socklen_t size = sizeof pending;
        if (getsockopt(socket_.get(), SOL_SOCKET, SO_ERROR, &pending, &size) == 0 && pending != 0) {
            lastError_ = pending;
            return failure(pending);
        }
        SocketResult none;
        none.error = SocketError::none;
        return none;
    }
    const int error = queued->error != 0 ? queued->error : EIO;
    lastError_ = error;
    SocketResult result = failure(error);
    result.peer = endpointOf(queued->peer);  // where the datagram that drew the error was sent
    return result;
}

void CTimedSocket::dropQueuedError() {
    takeQueuedIcmpError(socket_.get());
}

}  // namespace vantor
