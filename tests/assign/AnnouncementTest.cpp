#include "assign/Announcement.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/Ipv4.h"

namespace vantor {
namespace {

std::vector<std::uint8_t> announcement(std::string_view text) {
    std::vector<std::uint8_t> d(kAnnouncementSize, 0);
    d[0] = 0x01;
    d[5] = 0x77;  // carried back unchanged
    const std::uint8_t mac[] = {0x00, 0x11, 0x22, 0xAB, 0xCD, 0xEF};
    std::copy(std::begin(mac), std::end(mac), d.begin() + 8);
    const std::uint8_t ip[] = {192, 168, 1, 50};
    std::copy(std::begin(ip), std::end(ip), d.begin() + 14);
    std::copy(text.begin(), text.end(), d.begin() + 18);
    return d;
}

TEST(Announcement, ReadsMacIpAndSenderText) {
    const auto parsed = Announcement::parse(announcement("camera-7"));
    ASSERT_TRUE(parsed.announcement);
    const Announcement& a = *parsed.announcement;
    EXPECT_FALSE(a.ignoreMarker());
    EXPECT_EQ(a.mac(), (std::array<std::uint8_t, 6>{0x00, 0x11, 0x22, 0xAB, 0xCD, 0xEF}));
    EXPECT_EQ(a.ipText(), "192.168.1.50");
    EXPECT_EQ(a.senderText(), "camera-7");
}

TEST(Announcement, NotificationReplacesOnlyTheAddressBytes) {
    const auto datagram = announcement("x");
    const auto a = *Announcement::parse(datagram).announcement;
    const auto reply = a.notification(*Ipv4::parse("10.20.30.40"));
    for (std::size_t i = 0; i < kAnnouncementSize; ++i) {
        if (i >= 14 && i < 18) {
            continue;
        }
        EXPECT_EQ(reply[i], datagram[i]) << "byte " << i;
    }
    EXPECT_EQ(reply[14], 10);
    EXPECT_EQ(reply[15], 20);
    EXPECT_EQ(reply[16], 30);
    EXPECT_EQ(reply[17], 40);
}

TEST(Announcement, LengthBoundaries) {
    auto full = announcement("x");
    EXPECT_TRUE(Announcement::parse(full).announcement);
    full.push_back(0);
    const auto tooLong = Announcement::parse(full);
    EXPECT_FALSE(tooLong.announcement);
    EXPECT_EQ(tooLong.error, Announcement::Error::TooLong);

    // Short datagrams that hold the whole address read as if padded with zeros.
    const auto upToAddress = std::span(full).first(18);
    const auto s = *Announcement::parse(upToAddress).announcement;
    EXPECT_EQ(s.ipText(), "192.168.1.50");
    EXPECT_EQ(s.senderText(), "");
    EXPECT_EQ(s.notification(0).size(), kAnnouncementSize);
    EXPECT_EQ(s.notification(0)[18], 0);
    // One byte less, and the address's last octet is missing: refused, like an empty one.
    for (const std::size_t size : {std::size_t{17}, std::size_t{1}, std::size_t{0}}) {
        const auto refused = Announcement::parse(std::span(full).first(size));
        EXPECT_FALSE(refused.announcement) << size << " bytes";
        EXPECT_EQ(refused.error, Announcement::Error::TooShort) << size << " bytes";
    }
}

TEST(Announcement, TheSenderOfARefusedDatagramIsNamedByTheMacBytesItHolds) {
    const auto full = announcement("x");
    const auto macOf = [&](std::size_t size) {
        return Announcement::senderMac(std::span(full).first(size));
    };
    using Mac = std::array<std::uint8_t, 6>;
    EXPECT_EQ(macOf(0), Mac{});
    EXPECT_EQ(macOf(8), Mac{});
    EXPECT_EQ(macOf(10), (Mac{0x00, 0x11, 0, 0, 0, 0}));
    EXPECT_EQ(macOf(12), (Mac{0x00, 0x11, 0x22, 0xAB, 0, 0}));
    EXPECT_EQ(macOf(14), (Mac{0x00, 0x11, 0x22, 0xAB, 0xCD, 0xEF}));
    EXPECT_EQ(macOf(17), macOf(14));
    EXPECT_EQ(macOf(kAnnouncementSize), macOf(14));
}

TEST(Announcement, ASenderTextFillingAllBytesIsCutAtSixtyFour) {
    const std::string text(64, 'S');
    auto datagram = announcement(text);
    EXPECT_EQ(Announcement::parse(datagram).announcement->senderText(), text);
    datagram[18 + 10] = 0;
    EXPECT_EQ(Announcement::parse(datagram).announcement->senderText(), std::string(10, 'S'));
}

}  // namespace
}  // namespace vantor
