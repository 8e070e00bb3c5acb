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
// the first of several options of the same name counts.
struct TftpOptions {
    static TftpTerms Negotiate(std::span<const TftpOption> requested,
                               const TftpOptionLimits& limits);
    // The largest block whose DATA packet fits an interface of this MTU unfragmented
    // (1468 for 1500), within RFC 2348's range and never under RFC 1350's 512.
    static std::size_t BlockSizeFor(std::size_t mtu);
    // A value of decimal digits only, not too long to hold; nothing otherwise.
    static std::optional<std::uint64_t> ParseNumber(std::string_view value);
};

}  // namespace vantor
