#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/Timings.h"
#include "base/UniqueFd.h"
#include "net/Endpoint.h"
#include "net/SocketError.h"
#include "net/UdpPortOpener.h"

namespace vantor {

// A UDP socket whose receive ends on a datagram, on an expired time-out or on a cancel from
// another thread; the last two both end it as SocketError::interrupted.
//
// The receive waits in poll() on the socket and on an eventfd that CancelBlockingCall
// writes. The time-out is a deadline armed once: a second SetReceiveTimeout keeps the first
// deadline, a successful receive or an expiry disarms it, and a cancel leaves it armed, so a
// transfer whose wait was cancelled still gives up when the original deadline passes.
//
// A send may wait for room in a full send buffer, up to the send patience (none by default).
// A cancel ends that wait too, as interrupted, and stays pending: the receive it was meant for
// still ends on it.
//
// A cancel that arrives while no receive is blocked is kept and ends the next receive at
// once. A listener's stop may run between the moment its loop publishes the socket and the
// moment the loop blocks in it; keeping the cancel means that stop is never lost. Several
// cancels before one receive count as one.
//
// The socket belongs to the thread that created it. From other threads only
// CancelBlockingCall, ClearReceiveTimeout, IsBlocking and timerId may be called, and only
// while the object is alive (the owner publishes it under a lock and unpublishes it before
// destroying it).
class CTimedSocket {
  public:
    using Clock = std::chrono::steady_clock;

    // A socket whose privileged ports (DHCP, TFTP) this process binds itself.
    CTimedSocket();
    // A socket that takes its descriptor from `opener`, which must outlive it.
    explicit CTimedSocket(UdpPortOpener& opener);
    ~CTimedSocket();
    CTimedSocket(const CTimedSocket&) = delete;
    CTimedSocket& operator=(const CTimedSocket&) = delete;

    // Opens the socket bound to address:port (port 0: the system chooses). Returns false
    // and keeps errno in lastError() when that fails.
    bool Create(std::uint32_t address, std::uint16_t port);
    // Opens a socket for `port` that serves the interface owning interfaceAddress: it
    // receives the datagrams, broadcasts included, that arrive on that interface only, and
    // sends (broadcasts included) out of that interface only, from interfaceAddress.
    // Sockets of different interfaces may so share one port. A socket bound to the unicast
    // address would miss broadcasts, and its broadcasts would leave by the route's interface.
    bool CreateOnInterface(std::uint32_t interfaceAddress, std::uint16_t port);
    // CreateOnInterface for a server that must be the port's only one on the interface: fails
    // with lastError() EADDRINUSE when a socket of another process already holds the port
    // there, which SO_REUSEADDR on both sides would otherwise let this socket share (both would
    // then answer the same clients). This process's sockets of the port on the same interface
    // (its other addresses) and on other interfaces do not count. A foreign holder counts only
    // when it is still there after `patience`: a program this process starts holds copies of
    // its sockets from the fork until it runs, so a socket of ours just closed can linger a
    // moment in a child.
    bool CreateOnInterfaceAlone(std::uint32_t interfaceAddress, std::uint16_t port,
                                Millis patience);
    bool SetBroadcast(bool on);
    // The sockets of other processes that share this interface socket's port (see
    // CreateOnInterfaceAlone), by inode; empty for a socket not made on an interface.
    std::vector<std::uint64_t> ForeignHoldersOfPort() const;
    void Close();
    bool IsOpen() const { return static_cast<bool>(socket_); }
    int lastError() const { return lastError_; }
    std::optional<Endpoint> localEndpoint() const;
    // The interface a CreateOnInterface socket serves; empty otherwise.
    const std::string& interfaceName() const { return interfaceName_; }

    // Sends one datagram. With a send patience, a full buffer is waited out as SendPatiently
    // says; without one, it fails at once (systemError EAGAIN).
    SocketResult SendTo(std::span<const std::uint8_t> bytes, Endpoint to);
    // How long a send may wait for room in a full buffer. A window of large blocks (RFC 7440)
    // fills the buffer faster than a link drains it: 64 blocks of 8968 bytes are far more than
    // the default 212992 bytes hold.
    void SetSendPatience(Millis patience) { sendPatience_ = patience; }

    // Makes sendBufferSize() at least `bytes`; never lowers it. SO_SNDBUFFORCE passes
    // net.core.wmem_max but needs CAP_NET_ADMIN; without it SO_SNDBUF is capped by that
    // limit. False when the buffer stays smaller (lastError() tells a refused call).
    // The same for the receive buffer: a client that takes whole windows of jumbo frames.
    bool RaiseReceiveBuffer(std::size_t bytes);
    bool RaiseSendBuffer(std::size_t bytes);
    // The send buffer as the kernel accounts it (SO_SNDBUF): the bytes of every queued
    // datagram's buffers, headers and bookkeeping, not of its payload alone. The kernel doubles
    // the figure it is given to make room for that overhead. 0 when the socket is closed.
    std::size_t sendBufferSize() const;

    // One try at sending: the bytes sent, or -1 with errno set.
    using SendAttempt = std::function<ssize_t()>;
    // SendTo's loop, over any descriptor. EINTR is retried, and so is the first ECONNREFUSED:
    // it belongs to an earlier datagram's ICMP error, which stays queued for the next receive.
    // A full buffer (EAGAIN) is waited out in poll() until `socket` reports room (POLLOUT),
    // ENOBUFS (a full queue below the socket, which POLLOUT does not see) with short pauses;
    // either for at most `patience`, after which the send fails with that error. A cancel
    // pending on `cancelEvent` ends the wait as interrupted; it is polled, never read.
    // A UDP socket on loopback never fills (loopback frees each datagram as it sends it):
    // tests drive this on a descriptor that does.
    static SocketResult SendPatiently(const SendAttempt& attempt, int socket, int cancelEvent,
                                      Millis patience);

    // Arms the time-out unless one is armed; returns the armed timer's id (never 0).
    unsigned SetReceiveTimeout(Millis period);
    // Disarms the time-out; false when none was armed.
    bool ClearReceiveTimeout();
    unsigned timerId() const;

    // Receives one datagram into buffer. A datagram larger than the buffer fills it and
    // gives messageTooLong; an ICMP port unreachable drawn by an earlier send gives
    // connectionReset (once).
    SocketResult ReceiveWithTimeout(std::span<std::uint8_t> buffer);

    // Ends the current receive, or the next one if none is blocked, as interrupted.
    void CancelBlockingCall();
    bool IsBlocking() const { return blocking_.load(); }

  private:
    // Takes a freshly opened socket (invalid: the open failed with `error`).
    bool adopt(UniqueFd socket, int error, int interfaceIndex);
    bool raiseBuffer(int forcedOption, int option, std::size_t bytes);
    std::size_t bufferSize(int option) const;
    // Binds as CreateOnInterface does; nothing when `alone` and another process holds the
    // port there (lastError() EADDRINUSE).
    bool createOnInterface(std::uint32_t interfaceAddress, std::uint16_t port, bool alone);
    SocketResult receiveOnce(std::span<std::uint8_t> buffer);
    SocketResult takeQueuedError();
    void dropQueuedError();
    // Milliseconds poll() may wait: -1 without a time-out.
    int pollTimeout() const;
    bool expireIfDue();

    UdpPortOpener& opener_;
    UniqueFd socket_;
    UniqueFd cancelEvent_;
    int lastError_ = 0;
    Millis sendPatience_{0};
    std::string interfaceName_;
    int interfaceIndex_ = 0;
    std::uint32_t interfaceAddress_ = 0;
    std::atomic<bool> blocking_{false};

    mutable std::mutex timerMutex_;
    unsigned timerId_ = 0;
    unsigned lastTimerId_ = 0;
    Clock::time_point deadline_{};
};

}  // namespace vantor
