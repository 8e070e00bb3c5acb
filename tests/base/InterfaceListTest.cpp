#include "base/InterfaceList.h"

#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <array>

#include "base/Ipv4.h"
#include "base/SystemInterfaceSource.h"

namespace vantor {
namespace {

sockaddr_in ipv4(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = Ipv4::fromOctets(a, b, c, d);
    return address;
}

sockaddr* generic(auto& address) {
    return reinterpret_cast<sockaddr*>(&address);
}

TEST(InterfaceList, KeepsEveryIpv4AddressInOrderAndSkipsWhatIsNotOne) {
    sockaddr_in loopback = ipv4(127, 0, 0, 1);
    sockaddr_in unnamed = ipv4(10, 9, 9, 9);
    sockaddr_in first = ipv4(192, 168, 1, 10);
    sockaddr_in mask = ipv4(255, 255, 255, 0);
    sockaddr_in broadcast = ipv4(192, 168, 1, 255);
    sockaddr_in second = ipv4(192, 168, 1, 11);
    sockaddr_in tunnel = ipv4(10, 8, 0, 2);
    sockaddr_in peer = ipv4(10, 8, 0, 1);
    sockaddr_in6 ipv6{};
    ipv6.sin6_family = AF_INET6;
    char lo[] = "lo";
    char eth0[] = "eth0";
    char tun0[] = "tun0";
    // The kinds of entries the kernel hands out side by side, in its order.
    std::array<ifaddrs, 7> list{{
        {nullptr, lo, IFF_UP | IFF_LOOPBACK, generic(loopback), nullptr, {nullptr}, nullptr},
        {nullptr, eth0, IFF_UP | IFF_BROADCAST, nullptr, nullptr, {nullptr}, nullptr},  // link
        {nullptr, eth0, IFF_UP | IFF_BROADCAST, generic(ipv6), nullptr, {nullptr}, nullptr},
        {nullptr, nullptr, IFF_UP, generic(unnamed), nullptr, {nullptr}, nullptr},
        {nullptr,
         eth0,
         IFF_UP | IFF_BROADCAST,
         generic(first),
         generic(mask),
         {generic(broadcast)},
         nullptr},
        {nullptr, eth0, IFF_UP | IFF_BROADCAST, generic(second), nullptr, {nullptr}, nullptr},
        // A point-to-point peer sits where a broadcast address would: it is none.
        {nullptr, tun0, IFF_POINTOPOINT, generic(tunnel), nullptr, {generic(peer)}, nullptr},
    }};
    for (std::size_t i = 0; i + 1 < list.size(); ++i) {
        list[i].ifa_next = &list[i + 1];
    }

    const auto entries = InterfaceList::of(list.data());

    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].name, "lo");
    EXPECT_TRUE(entries[0].loopback && entries[0].up && !entries[0].broadcastCapable);
    EXPECT_EQ(entries[1].name, "eth0");
    EXPECT_EQ(entries[1].address, first.sin_addr.s_addr);
    EXPECT_EQ(entries[1].netmask, mask.sin_addr.s_addr);
    EXPECT_EQ(entries[1].broadcast, broadcast.sin_addr.s_addr);
    EXPECT_TRUE(entries[1].broadcastCapable && !entries[1].loopback);
    EXPECT_EQ(entries[2].address, second.sin_addr.s_addr);  // a second address of eth0
    EXPECT_EQ(entries[2].netmask, 0u);
    EXPECT_EQ(entries[3].name, "tun0");
    EXPECT_FALSE(entries[3].up);
    EXPECT_EQ(entries[3].broadcast, 0u);
}

// Loopback counts only on a PC that has nothing else, so that the console can call that PC
// one without a network.
TEST(SystemInterfaceSource, LoopbackCountsOnlyWhenItIsAllThereIs) {
    const auto entry = [](const char* name, std::uint32_t address, bool up, bool loopback) {
        InterfaceList::Entry e;
        e.name = name;
        e.address = address;
        e.up = up;
        e.loopback = loopback;
        return e;
    };
    const std::uint32_t lo = Ipv4::fromOctets(127, 0, 0, 1);
    const std::uint32_t eth = Ipv4::fromOctets(192, 168, 1, 10);
    struct Case {
        std::vector<InterfaceList::Entry> entries;
        std::vector<std::uint32_t> expected;
    };
    std::vector<InterfaceList::Entry> many{entry("lo", lo, true, true)};
    std::vector<std::uint32_t> sixteen;
    for (std::uint8_t i = 1; i <= 17; ++i) {
        many.push_back(entry("eth", Ipv4::fromOctets(10, 0, 0, i), true, false));
        if (i <= 16) {
            sixteen.push_back(Ipv4::fromOctets(10, 0, 0, i));
        }
    }
    const std::vector<Case> cases{
        {{entry("lo", lo, true, true)}, {lo}},
        {{entry("lo", lo, true, true), entry("eth0", eth, true, false)}, {eth}},
        {{entry("lo", lo, true, true), entry("eth0", eth, false, false)}, {lo}},
        {{entry("lo", lo, false, true)}, {}},
        {{}, {}},
        {many, sixteen},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SystemInterfaceSource::usableAddresses(c.entries), c.expected)
            << c.entries.size() << " entries";
    }
}

}  // namespace
}  // namespace vantor
