#include "console/InterfaceList.h"

#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <array>

#include "console/Ipv4.h"

namespace vantor {
namespace {

// A hand-built getifaddrs() list: the kinds of entries the kernel hands out side by side.
class IfaddrsList {
  public:
    sockaddr* ipv4(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
        sockaddr_in& address = ipv4s_.at(nextIpv4_++);
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = Ipv4::fromOctets(a, b, c, d);
        return reinterpret_cast<sockaddr*>(&address);
    }
    sockaddr* ipv6() {
        ipv6_.sin6_family = AF_INET6;
        return reinterpret_cast<sockaddr*>(&ipv6_);
    }
    ifaddrs& add(const char* name, unsigned flags, sockaddr* address) {
        ifaddrs& entry = entries_.at(count_);
        entry = ifaddrs{};
        entry.ifa_name = const_cast<char*>(name);
        entry.ifa_flags = flags;
        entry.ifa_addr = address;
        if (count_ > 0) {
            entries_.at(count_ - 1).ifa_next = &entry;
        }
        ++count_;
        return entry;
    }
    const ifaddrs* head() const { return count_ > 0 ? &entries_[0] : nullptr; }

  private:
    static constexpr std::size_t kCapacity = 8;
    std::array<ifaddrs, kCapacity> entries_{};
    std::array<sockaddr_in, kCapacity> ipv4s_{};
    sockaddr_in6 ipv6_{};
    std::size_t count_ = 0;
    std::size_t nextIpv4_ = 0;
};

TEST(InterfaceList, KeepsEveryIpv4AddressInOrderAndSkipsWhatIsNotOne) {
    IfaddrsList list;
    list.add("lo", IFF_UP | IFF_LOOPBACK, list.ipv4(127, 0, 0, 1));
    list.add("eth0", IFF_UP | IFF_BROADCAST, nullptr);  // the link entry of AF_PACKET
    list.add("eth0", IFF_UP | IFF_BROADCAST, list.ipv6());
    list.add(nullptr, IFF_UP, list.ipv4(10, 9, 9, 9));
    ifaddrs& first = list.add("eth0", IFF_UP | IFF_BROADCAST, list.ipv4(192, 168, 1, 10));
    first.ifa_netmask = list.ipv4(255, 255, 255, 0);
    first.ifa_broadaddr = list.ipv4(192, 168, 1, 255);
    list.add("eth0", IFF_UP | IFF_BROADCAST, list.ipv4(192, 168, 1, 11));  // a second address
    // A point-to-point peer sits where a broadcast address would: it is no broadcast address.
    ifaddrs& tunnel = list.add("tun0", IFF_POINTOPOINT, list.ipv4(10, 8, 0, 2));
    tunnel.ifa_broadaddr = list.ipv4(10, 8, 0, 1);

    const auto entries = InterfaceList::of(list.head());

    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].name, "lo");
    EXPECT_TRUE(entries[0].loopback);
    EXPECT_TRUE(entries[0].up);
    EXPECT_FALSE(entries[0].broadcastCapable);

    EXPECT_EQ(entries[1].name, "eth0");
    EXPECT_EQ(entries[1].address, Ipv4::fromOctets(192, 168, 1, 10));
    EXPECT_EQ(entries[1].netmask, Ipv4::fromOctets(255, 255, 255, 0));
    EXPECT_EQ(entries[1].broadcast, Ipv4::fromOctets(192, 168, 1, 255));
    EXPECT_TRUE(entries[1].broadcastCapable);
    EXPECT_FALSE(entries[1].loopback);
    EXPECT_EQ(entries[2].address, Ipv4::fromOctets(192, 168, 1, 11));
    EXPECT_EQ(entries[2].netmask, 0u);

    EXPECT_EQ(entries[3].name, "tun0");
    EXPECT_FALSE(entries[3].up);
    EXPECT_EQ(entries[3].broadcast, 0u);
}

}  // namespace
}  // namespace vantor
