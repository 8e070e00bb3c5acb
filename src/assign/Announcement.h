#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "assign/AnnouncementWire.h"

namespace vantor {

// The 82-byte datagram with which a device announces itself on port 1810, and which the PC
// sends back to the device's port 1809 with its own interface address in place of the
// device's. Offsets: 0 marker (four 0xFF: ignore), 4 unused, 8 MAC, 14 IPv4 (first octet
// first), 18 sender text (64 bytes, zero-terminated unless full).
class Announcement {
  public:
    using Bytes = std::array<std::uint8_t, kAnnouncementSize>;

    enum class Error { TooShort, TooLong };

    // A datagram shorter than 82 bytes is read with the missing bytes as zero, provided it
    // holds the whole address (18 bytes); a shorter or a longer one is refused.
    static struct ParsedAnnouncement parse(std::span<const std::uint8_t> datagram);
    // The MAC bytes a datagram holds, zeros for those it lacks: names the sender of one that
    // is refused.
    static std::array<std::uint8_t, 6> senderMac(std::span<const std::uint8_t> datagram);

    bool ignoreMarker() const;
    std::array<std::uint8_t, 6> mac() const;
    std::array<std::uint8_t, 4> ip() const;
    std::string ipText() const;
    // The sender text up to its terminating zero, or all 64 bytes when none terminates it.
    std::string senderText() const;
    // The reply: the announcement byte for byte, with bytes 14 to 17 replaced by the address
    // of the interface it arrived on (network byte order, first octet first).
    Bytes notification(std::uint32_t nicAddress) const;
    const Bytes& bytes() const { return bytes_; }

  private:
    explicit Announcement(const Bytes& bytes) : bytes_(bytes) {}
    Bytes bytes_;
};

struct ParsedAnnouncement {
    std::optional<Announcement> announcement;
    std::optional<Announcement::Error> error;
};

}  // namespace vantor
