#pragma once

#include <netinet/in.h>

#include <optional>

namespace vantor {

// An ICMP error the kernel queued on a UDP socket that asked for them (IP_RECVERR), such as
// the port unreachable a closed port draws (RFC 1122 section 4.1.3.3).
struct QueuedIcmpError {
    int error = 0;       // its errno; 0 when the entry carried no IP_RECVERR record
    sockaddr_in peer{};  // where the datagram that drew it was sent
};

// Takes the oldest queued error off the socket without waiting; nothing when none is queued.
// Taking it also loads the socket error of the next queued one, if any, so that each ICMP
// error is reported exactly once.
std::optional<QueuedIcmpError> takeQueuedIcmpError(int fd);

}  // namespace vantor
