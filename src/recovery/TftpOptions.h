#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "base/Timings.h"
#include "recovery/TftpPacket.h"
#include "recovery/TftpWire.h"

namespace vantor {

// What the server can offer a transfer.
struct TftpOptionLimits {
    std::size_t maxBlockSize = kTftpBlockSize;  // what fits the interface's MTU
    std::optional<std::uint64_t> fileSize;      // unknown: tsize is left out
    // The transfer socket's send buffer as the kernel accounts it (CTimedSocket's
    // sendBufferSize()): a window must fit it whole, or sending its tail fails. 0: no bound.
    std::size_t sendBufferBytes = 0;
};

// The terms a transfer runs on: RFC 1350's when the client asked for nothing.
struct TftpTerms {
    std::size_t blockSize = kTftpBlockSize;
    std::uint32_t windowSize = 1;
    std::optional<Millis> timeout;  // the client's retransmission interval, when it named one
    // The options the OACK acknowledges, in the order of the request; empty: no OACK, the
    // transfer starts with DATA block 1.
    std::vector<TftpOption> acknowledged;

    bool oack() const { return !acknowledged.empty(); }
};

// TFTP option negotiation (RFC 2347) for a read request: blksize (RFC 2348), tsize and timeout
// (RFC 2349) and windowsize (RFC 7440). Names are matched case-insensitively; an option with
// an unknown name, a value that is not a plain decimal number or a value out of the option's
// range is left out of the OACK, and the transfer runs as if it had not been asked for. Only
// the first of several options of the same name counts. The window is bounded by the send
// buffer, whatever the order in which blksize and windowsize come, and is never under 1.
struct TftpOptions {
    static TftpTerms Negotiate(std::span<const TftpOption> requested,
                               const TftpOptionLimits& limits);
    // The largest block whose DATA packet fits an interface of this MTU unfragmented
    // (1468 for 1500), within RFC 2348's range and never under RFC 1350's 512.
    static std::size_t BlockSizeFor(std::size_t mtu);
    // What one DATA datagram of this block size costs the send buffer (an skb's truesize; see
    // TftpWire.h). Above about 16 KiB a scatter-gather interface takes the payload in page
    // fragments, charged at its length: the estimate is then up to twice too high, which only
    // makes the window smaller.
    static std::size_t DatagramCost(std::size_t blockSize);
    // The send buffer to ask for (CTimedSocket::RaiseSendBuffer) so that a window of this
    // many blocks fits, at most kTftpMaxSendBuffer.
    static std::size_t SendBufferFor(std::size_t blockSize, std::uint32_t windowSize);
    // A value of decimal digits only, not too long to hold; nothing otherwise.
    static std::optional<std::uint64_t> ParseNumber(std::string_view value);
};

}  // namespace vantor
