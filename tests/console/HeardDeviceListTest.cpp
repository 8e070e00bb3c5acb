#include "console/HeardDeviceList.h"

#include <gtest/gtest.h>

namespace vantor {
namespace {

using Time = std::chrono::system_clock::time_point;

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
    HeardDevices::Hearing hear(const MacOctets& device, const Ipv4Octets& address = kFirst) {
        return list.hear(device, address, "cam", "10.0.0.1");
    }

    Time now{std::chrono::seconds(1000)};
    std::vector<HeardDevice> told;
    HeardDeviceList list{[this](const HeardDevice& row) { told.push_back(row); },
                         [this] { return now; }};
};

TEST_F(HeardDeviceListTest, HoldsOneRowPerMacWhereTheLastDigitAlreadyCounts) {
    hear(mac(0x56));
    now += std::chrono::seconds(5);
    const HeardDevices::Hearing again = hear(mac(0x56));
    hear(mac(0x57));
    const std::vector<HeardDevice> rows = list.rows();
    ASSERT_EQ(rows.size(), 2U);
    EXPECT_FALSE(again.moved);
    EXPECT_FALSE(again.wasTaken);
    EXPECT_EQ(rows[0].firstHeard, Time(std::chrono::seconds(1000)));
    EXPECT_EQ(rows[0].lastHeard, Time(std::chrono::seconds(1005)));
    EXPECT_EQ(rows[1].mac, mac(0x57));
    EXPECT_EQ(told.size(), 2U) << "a repeat changes no state";
}

TEST_F(HeardDeviceListTest, StatesAreToldOnceEachAndARouteIsRemembered) {
    hear(mac(1));
    for (HeardState state :
         {HeardState::Notified, HeardState::Routed, HeardState::Routed, HeardState::NotAnswering}) {
        list.setState(mac(1), state);
    }
    ASSERT_EQ(told.size(), 4U);
    EXPECT_EQ(told.back().state, HeardState::NotAnswering);
    EXPECT_TRUE(told.back().routeAdded);
    list.setState(mac(2), HeardState::Answering);  // never heard: nothing
    EXPECT_EQ(told.size(), 4U);
}

TEST_F(HeardDeviceListTest, ARepeatWithAnotherAddressMovesTheRowBackToHeard) {
    hear(mac(1));
    list.setState(mac(1), HeardState::Routed);
    const HeardDevices::Hearing moved = hear(mac(1), kSecond);
    EXPECT_TRUE(moved.moved);
    EXPECT_TRUE(moved.wasTaken);
    EXPECT_TRUE(moved.previousRouteAdded);
    EXPECT_EQ(moved.previousAddress, kFirst);
    const HeardDevice row = list.find(mac(1)).value();
    EXPECT_EQ(row.address, kSecond);
    EXPECT_EQ(row.state, HeardState::Heard);
    EXPECT_FALSE(row.routeAdded);
    EXPECT_EQ(told.back().address, kSecond);
}

TEST_F(HeardDeviceListTest, At1024DevicesANewMacIsRefusedOncePerListeningWhileRowsStillUpdate) {
    for (std::uint16_t i = 0; i < 1024; ++i) {
        ASSERT_TRUE(hear(mac(i)).listed);
    }
    const HeardDevices::Hearing first = hear(mac(1024));
    EXPECT_FALSE(first.listed);
    EXPECT_TRUE(first.firstRefusal);
    EXPECT_FALSE(hear(mac(1025)).firstRefusal);
    now += std::chrono::seconds(1);
    const std::uint64_t before = list.revision();
    EXPECT_TRUE(hear(mac(1023), kSecond).moved);
    EXPECT_GT(list.revision(), before);
    EXPECT_EQ(list.rows().size(), 1024U);
    EXPECT_FALSE(list.find(mac(1024)).has_value());
    list.beginListening();
    EXPECT_TRUE(hear(mac(1024)).firstRefusal);
}

}  // namespace
}  // namespace vantor
