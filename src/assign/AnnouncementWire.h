// The devices' announcement (port 1810) and the notification that answers it (port 1809).
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor {

inline constexpr std::uint16_t kAnnouncePort = 1810;
inline constexpr std::uint16_t kNotifyPort = 1809;
inline constexpr std::size_t kAnnouncementSize = 82;
inline constexpr std::size_t kAnnouncementMacOffset = 8;
inline constexpr std::size_t kAnnouncementIpOffset = 14;
// The shortest datagram that names an address: one that ends before the address's last byte
// says nothing about the device.
inline constexpr std::size_t kAnnouncementMinSize = kAnnouncementIpOffset + 4;
inline constexpr std::size_t kAnnouncementTextOffset = 18;
inline constexpr std::size_t kAnnouncementTextSize = 64;

}  // namespace vantor
