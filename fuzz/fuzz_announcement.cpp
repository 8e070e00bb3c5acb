// A datagram on the announcement port, through the parser and the notification built from it.
#include <algorithm>
#include <cstdint>
#include <span>

#include "assign/Announcement.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> datagram(data, size);
    const vantor::ParsedAnnouncement parsed = vantor::Announcement::parse(datagram);
    if (size > vantor::kAnnouncementSize || size < vantor::kAnnouncementMinSize) {
        if (parsed.announcement || !parsed.error) {
            __builtin_trap();
        }
        // The sender of a refused datagram is named by the MAC bytes it holds.
        const auto mac = vantor::Announcement::senderMac(datagram);
        for (std::size_t i = 0; i < mac.size(); ++i) {
            const std::size_t at = vantor::kAnnouncementMacOffset + i;
            if (mac[i] != (at < size ? data[at] : 0)) {
                __builtin_trap();
            }
        }
        return 0;
    }
    if (!parsed.announcement) {
        __builtin_trap();
    }
    const vantor::Announcement& announcement = *parsed.announcement;
    if (announcement.senderText().size() > vantor::kAnnouncementTextSize) {
        __builtin_trap();
    }
    announcement.ignoreMarker();
    announcement.mac();
    announcement.ipText();
    if (announcement.mac() != vantor::Announcement::senderMac(datagram)) {
        __builtin_trap();
    }
    // The notification echoes every byte but the address, and pads short datagrams with zeros.
    const auto notification = announcement.notification(0x04030201);
    for (std::size_t i = 0; i < notification.size(); ++i) {
        const bool address =
            i >= vantor::kAnnouncementIpOffset && i < vantor::kAnnouncementIpOffset + 4;
        const std::uint8_t sent = i < size ? data[i] : 0;
        if (!address && notification[i] != sent) {
            __builtin_trap();
        }
    }
    return 0;
}
