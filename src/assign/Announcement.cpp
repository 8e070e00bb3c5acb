#include "assign/Announcement.h"

#include <arpa/inet.h>

#include <algorithm>

#include "base/ByteWriter.h"

namespace vantor {

ParsedAnnouncement Announcement::parse(std::span<const std::uint8_t> datagram) {
    if (datagram.size() > kAnnouncementSize) {
        return {std::nullopt, Error::TooLong};
    }
    if (datagram.size() < kAnnouncementMinSize) {
        return {std::nullopt, Error::TooShort};
    }
    Bytes bytes{};
    std::copy(datagram.begin(), datagram.end(), bytes.begin());
    return {Announcement(bytes), std::nullopt};
}

std::array<std::uint8_t, 6> Announcement::senderMac(std::span<const std::uint8_t> datagram) {
    std::array<std::uint8_t, 6> mac{};
    if (datagram.size() > kAnnouncementMacOffset) {
        const auto held =
            datagram.subspan(kAnnouncementMacOffset)
                .first(std::min(mac.size(), datagram.size() - kAnnouncementMacOffset));
        std::copy(held.begin(), held.end(), mac.begin());
    }
    return mac;
}

bool Announcement::ignoreMarker() const {
    return std::all_of(bytes_.begin(), bytes_.begin() + 4,
                       [](std::uint8_t b) { return b == 0xFF; });
}

std::array<std::uint8_t, 6> Announcement::mac() const {
    std::array<std::uint8_t, 6> mac{};
    std::copy_n(bytes_.begin() + kAnnouncementMacOffset, mac.size(), mac.begin());
    return mac;
}

std::array<std::uint8_t, 4> Announcement::ip() const {
    std::array<std::uint8_t, 4> ip{};
    std::copy_n(bytes_.begin() + kAnnouncementIpOffset, ip.size(), ip.begin());
    return ip;
}

std::string Announcement::ipText() const {
    const auto o = ip();
    return std::to_string(o[0]) + "." + std::to_string(o[1]) + "." + std::to_string(o[2]) + "." +
           std::to_string(o[3]);
}

std::string Announcement::senderText() const {
    const auto begin = bytes_.begin() + kAnnouncementTextOffset;
    const auto end = begin + kAnnouncementTextSize;
    return std::string(begin, std::find(begin, end, std::uint8_t{0}));
}

Announcement::Bytes Announcement::notification(std::uint32_t nicAddress) const {
    Bytes reply = bytes_;
    ByteWriter(reply, ByteOrder::big).seek(kAnnouncementIpOffset).u32(ntohl(nicAddress));
    return reply;
}

}  // namespace vantor
