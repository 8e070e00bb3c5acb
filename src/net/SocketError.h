#pragma once

#include <cstddef>

#include "net/Endpoint.h"

namespace vantor {

// How a socket call ended. The numbers are the Winsock codes that the status log and the
// loops speak of, so a value can be shown or compared as the product always has.
enum class SocketError : int {
    none = 0,
    interrupted = 10004,        // the receive's time-out expired or another thread cancelled it
    messageTooLong = 10040,     // the datagram was larger than the buffer; its tail is lost
    connectionAborted = 10053,  // the stack gave up on the socket
    connectionReset = 10054,    // an earlier datagram drew an ICMP port unreachable
    other = -1,
};

// The outcome of one send or receive: the bytes moved and, for a receive, the sender.
struct SocketResult {
    SocketError error = SocketError::other;
    std::size_t length = 0;
    Endpoint peer{};
    int systemError = 0;  // errno of the failure, for diagnostics

    bool ok() const { return error == SocketError::none; }
};

}  // namespace vantor
