#include "recovery/TftpOptions.h"

#include <algorithm>
#include <bit>
#include <string>

namespace vantor {
namespace {

bool sameName(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        const auto lower = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        return lower(x) == lower(y);
    });
}

std::optional<std::uint64_t> inRange(std::string_view value, std::uint64_t low,
                                     std::uint64_t high) {
    const auto number = TftpOptions::ParseNumber(value);
    if (!number || *number < low || *number > high) {
        return std::nullopt;
    }
    return number;
}

// The largest window, not over `asked` and never under 1, whose datagrams the send buffer
// holds at once.
std::uint32_t windowWithin(std::uint32_t asked, std::size_t blockSize,
                           std::size_t sendBufferBytes) {
    if (sendBufferBytes == 0) {
        return asked;
    }
    const std::size_t fits = sendBufferBytes / TftpOptions::DatagramCost(blockSize);
    return static_cast<std::uint32_t>(
        std::clamp<std::size_t>(fits, kTftpMinWindowSize, std::max(asked, kTftpMinWindowSize)));
}

}  // namespace

std::size_t TftpOptions::DatagramCost(std::size_t blockSize) {
    const std::size_t head = kSkbLinkHeaderRoom + kIpv4UdpHeaderSize + kTftpHeaderSize + blockSize +
                             kSkbAlignmentSlack + kSkbSharedInfoSize;
    const std::size_t allocated =
        head <= kSkbSmallHeadSize ? kSkbSmallHeadSize : std::bit_ceil(head);
    return allocated + kSkbStructSize;
}

std::size_t TftpOptions::SendBufferFor(std::size_t blockSize, std::uint32_t windowSize) {
    const std::uint64_t window = std::uint64_t{DatagramCost(blockSize)} * windowSize;
    return static_cast<std::size_t>(std::min<std::uint64_t>(window, kTftpMaxSendBuffer));
}

std::optional<std::uint64_t> TftpOptions::ParseNumber(std::string_view value) {
    if (value.empty() || value.size() > kTftpMaxOptionDigits) {
        return std::nullopt;
    }
    std::uint64_t number = 0;
    for (const char c : value) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        number = number * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return number;
}

std::size_t TftpOptions::BlockSizeFor(std::size_t mtu) {
    const std::size_t fits =
        mtu > kIpv4UdpHeaderSize + kTftpHeaderSize ? mtu - kIpv4UdpHeaderSize - kTftpHeaderSize : 0;
    return std::clamp(fits, kTftpBlockSize, kTftpMaxBlockSize);
}

TftpTerms TftpOptions::Negotiate(std::span<const TftpOption> requested,
                                 const TftpOptionLimits& limits) {
    TftpTerms terms;
    bool blockSizeSeen = false;
    bool transferSizeSeen = false;
    bool timeoutSeen = false;
    bool windowSizeSeen = false;
    std::optional<std::size_t> windowSizeAcknowledged;  // its place in the OACK
    const auto acknowledge = [&terms](std::string_view name, std::uint64_t value) {
        terms.acknowledged.push_back({std::string(name), std::to_string(value)});
    };
    for (const TftpOption& option : requested) {
        if (sameName(option.name, kTftpOptionBlockSize) && !blockSizeSeen) {
            blockSizeSeen = true;
            // RFC 2348: the server may answer a smaller size, here what fits the link.
            if (const auto size = inRange(option.value, kTftpMinBlockSize, kTftpMaxBlockSize)) {
                terms.blockSize = std::min<std::size_t>(*size, limits.maxBlockSize);
                acknowledge(kTftpOptionBlockSize, terms.blockSize);
            }
        } else if (sameName(option.name, kTftpOptionTransferSize) && !transferSizeSeen) {
            transferSizeSeen = true;
            // RFC 2349: a read request carries 0; the OACK tells the file's size.
            if (ParseNumber(option.value) && limits.fileSize) {
                acknowledge(kTftpOptionTransferSize, *limits.fileSize);
            }
        } else if (sameName(option.name, kTftpOptionTimeout) && !timeoutSeen) {
            timeoutSeen = true;
            if (const auto seconds =
                    inRange(option.value, kTftpMinTimeoutSeconds, kTftpMaxTimeoutSeconds)) {
                terms.timeout = std::chrono::seconds(*seconds);
                acknowledge(kTftpOptionTimeout, *seconds);
            }
        } else if (sameName(option.name, kTftpOptionWindowSize) && !windowSizeSeen) {
            windowSizeSeen = true;
            // RFC 7440: the server may answer a smaller window.
            if (const auto window =
                    inRange(option.value, kTftpMinWindowSize, kTftpWindowSizeLimit)) {
                terms.windowSize = static_cast<std::uint32_t>(
                    std::min<std::uint64_t>(*window, kTftpMaxWindowSize));
                windowSizeAcknowledged = terms.acknowledged.size();
                acknowledge(kTftpOptionWindowSize, terms.windowSize);
            }
        }
    }
    // Bounded once the block size is settled, which a later blksize may still change.
    if (windowSizeAcknowledged) {
        terms.windowSize = windowWithin(terms.windowSize, terms.blockSize, limits.sendBufferBytes);
        terms.acknowledged[*windowSizeAcknowledged].value = std::to_string(terms.windowSize);
    }
    return terms;
}

}  // namespace vantor
