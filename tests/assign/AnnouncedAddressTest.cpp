#include "assign/AnnouncedAddress.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/Ipv4.h"

namespace vantor {
namespace {

using Verdict = AnnouncedAddress::Verdict;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

std::uint32_t ip(const char* text) {
    return *Ipv4::parse(text);
}

struct AddressCase {
    const char* address;
    Verdict verdict;
};

// The PC has 10.0.1.1/24 (broadcast 10.0.1.255) and 192.168.5.20.
class AnnouncedAddressJudge : public ::testing::TestWithParam<AddressCase> {};

TEST_P(AnnouncedAddressJudge, RefusesWhatIsNoOtherHost) {
    const std::vector<std::uint32_t> own = {ip("10.0.1.1"), ip("192.168.5.20")};
    const std::vector<std::uint32_t> broadcasts = {ip("10.0.1.255")};
    EXPECT_EQ(AnnouncedAddress::judge(ip(GetParam().address), own, broadcasts), GetParam().verdict)
        << GetParam().address;
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, AnnouncedAddressJudge,
    ::testing::Values(
        AddressCase{"0.0.0.0", Verdict::Unspecified},
        AddressCase{"0.255.255.255", Verdict::Unspecified}, AddressCase{"1.0.0.0", Verdict::Device},
        AddressCase{"126.255.255.255", Verdict::Device},
        AddressCase{"127.0.0.0", Verdict::Loopback}, AddressCase{"127.0.0.1", Verdict::Loopback},
        AddressCase{"127.255.255.255", Verdict::Loopback},
        AddressCase{"128.0.0.0", Verdict::Device}, AddressCase{"223.255.255.255", Verdict::Device},
        AddressCase{"224.0.0.0", Verdict::MulticastOrReserved},
        AddressCase{"224.0.0.1", Verdict::MulticastOrReserved},
        AddressCase{"239.255.255.255", Verdict::MulticastOrReserved},
        AddressCase{"240.0.0.0", Verdict::MulticastOrReserved},
        AddressCase{"255.255.255.254", Verdict::MulticastOrReserved},
        AddressCase{"255.255.255.255", Verdict::LimitedBroadcast},
        // The PC's own addresses, and ones a digit away from them.
        AddressCase{"10.0.1.1", Verdict::OwnAddress}, AddressCase{"10.0.1.11", Verdict::Device},
        AddressCase{"10.0.1.2", Verdict::Device}, AddressCase{"192.168.5.20", Verdict::OwnAddress},
        AddressCase{"192.168.5.2", Verdict::Device},
        // The receiving interface's broadcast, and its neighbours.
        AddressCase{"10.0.1.255", Verdict::SubnetBroadcast},
        AddressCase{"10.0.1.254", Verdict::Device}, AddressCase{"10.0.2.255", Verdict::Device},
        // A factory address on none of the PC's subnets.
        AddressCase{"192.168.77.7", Verdict::Device}));

InterfaceList::Entry entry(const char* name, const char* address, const char* netmask,
                           const char* broadcast) {
    InterfaceList::Entry e;
    e.name = name;
    e.address = ip(address);
    e.netmask = ip(netmask);
    e.broadcast = ip(broadcast);
    e.broadcastCapable = e.broadcast != 0;
    e.up = true;
    return e;
}

TEST(AnnouncedAddressBroadcasts, AreThoseOfEveryAddressOfTheReceivingInterfaceAlone) {
    const std::vector<InterfaceList::Entry> entries = {
        entry("lo", "127.0.0.1", "255.0.0.0", "0.0.0.0"),
        entry("eth0", "10.0.1.1", "255.255.255.0", "10.0.1.255"),
        entry("eth1", "10.0.2.1", "255.255.255.0", "10.0.2.255"),
        // A second address of eth0, whose broadcast the administrator set apart from the
        // netmask's.
        entry("eth0", "172.16.4.1", "255.255.0.0", "172.16.4.255"),
    };
    EXPECT_THAT(AnnouncedAddress::broadcastsOf(ip("10.0.1.1"), entries),
                UnorderedElementsAre(ip("10.0.1.255"), ip("10.0.1.255"), ip("172.16.4.255"),
                                     ip("172.16.255.255")));
    EXPECT_THAT(AnnouncedAddress::broadcastsOf(ip("10.0.2.1"), entries),
                UnorderedElementsAre(ip("10.0.2.255"), ip("10.0.2.255")));
    // An address one digit from the interface's own is no interface.
    EXPECT_THAT(AnnouncedAddress::broadcastsOf(ip("10.0.1.11"), entries), IsEmpty());
}

TEST(AnnouncedAddressBroadcasts, APointToPointSubnetHasNone) {
    // On a /31 both addresses are hosts (RFC 3021): the peer's is no broadcast.
    EXPECT_THAT(
        AnnouncedAddress::broadcastsOf(
            ip("10.9.0.0"), std::vector{entry("p0", "10.9.0.0", "255.255.255.254", "0.0.0.0")}),
        IsEmpty());
    EXPECT_THAT(
        AnnouncedAddress::broadcastsOf(
            ip("10.9.0.5"), std::vector{entry("p1", "10.9.0.5", "255.255.255.255", "0.0.0.0")}),
        IsEmpty());
    EXPECT_THAT(
        AnnouncedAddress::broadcastsOf(
            ip("10.9.0.5"), std::vector{entry("p2", "10.9.0.5", "255.255.255.252", "0.0.0.0")}),
        UnorderedElementsAre(ip("10.9.0.7")));
}

}  // namespace
}  // namespace vantor
