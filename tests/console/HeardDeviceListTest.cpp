#include "console/HeardDeviceList.h"

#include <gtest/gtest.h>

namespace vantor {
namespace {

using namespace std::chrono_literals;

MacOctets mac(std::uint16_t last) {
    return {0x00,
            0x40,
            0x8C,
            0x12,
            static_cast<std::uint8_t>(last >> 8),
            static_cast<std::uint8_t>(last)};
}

constexpr Ipv4Octets kFirst{192, 168, 1, 90};
constexpr Ipv4Octets kSecond{192, 168, 1, 91};

class HeardDeviceListTest : public ::testing::Test {
  protected:
    HeardDevices::Hearing hear(std::uint16_t device, const Ipv4Octets& address = kFirst) {
        return list.hear(mac(device), address, "cam", "10.0.0.1");
    }

    std::chrono::system_clock::time_point now{1000s};
    std::vector<HeardDevice> told;
    HeardDeviceList list{[this](const HeardDevice& row) { told.push_back(row); },
                         [this] { return now; }};
};

TEST_F(HeardDeviceListTest, RepeatsUpdateTheRowOfTheirMacAndAMoveStartsOverWithoutTheRoute) {
    hear(0x56);
    hear(0x57);  // differs in the last digit only
    list.setState(mac(0x56), HeardState::Routed);
    list.setState(mac(0x56), HeardState::Routed);
    now += 5s;
    EXPECT_FALSE(hear(0x56).moved);
    EXPECT_EQ(told.size(), 3U) << "told of two new rows and one state";
    EXPECT_EQ(list.rows()[0].lastHeard - list.rows()[0].firstHeard, 5s);

    const HeardDevices::Hearing moved = hear(0x56, kSecond);
    EXPECT_TRUE(moved.moved && moved.wasTaken && moved.previousRouteAdded);
    EXPECT_EQ(moved.previousAddress, kFirst);
    EXPECT_EQ(told.back().address, kSecond);
    EXPECT_EQ(told.back().state, HeardState::Heard);
    EXPECT_FALSE(told.back().routeAdded);
    EXPECT_EQ(list.rows().size(), 2U);
}

TEST_F(HeardDeviceListTest, At1024DevicesANewMacIsRefusedOncePerListeningWhileRowsStillUpdate) {
    for (std::uint16_t i = 0; i < 1024; ++i) {
        ASSERT_TRUE(hear(i).listed);
    }
    const HeardDevices::Hearing refused = hear(1024);
    EXPECT_FALSE(refused.listed);
    EXPECT_TRUE(refused.firstRefusal);
    EXPECT_FALSE(hear(1025).firstRefusal);
    EXPECT_TRUE(hear(1023, kSecond).moved);
    EXPECT_EQ(list.rows().size(), 1024U);
    list.beginListening();
    EXPECT_TRUE(hear(1024).firstRefusal);
}

}  // namespace
}  // namespace vantor
