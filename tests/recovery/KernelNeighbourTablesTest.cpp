#include "net/KernelNeighbourTables.h"

#include <gtest/gtest.h>

#include "base/Ipv4.h"

namespace vantor {
namespace {

// /proc/net/route as the kernel prints it: 192.168.0.100 is 6400A8C0 on a little-endian PC.
constexpr const char* kRoutes =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
    "veth0\t00014D0A\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
    "veth0\t6400A8C0\t00000000\t0005\t0\t0\t0\tFFFFFFFF\t0\t0\t0\n"
    "veth1\t6500A8C0\t00000000\t0005\t0\t0\t0\tFFFFFFFF\t0\t0\t0\n"
    "veth2\t6400A8C0\t00000000\t0004\t0\t0\t0\tFFFFFFFF\t0\t0\t0\n"
    "veth3\t6400A8C0\t00000000\t0001\t0\t0\t0\tFFFFFF00\t0\t0\t0\n"
    "veth4\t6400A8C0\n";

TEST(KernelNeighbourTables, AHostRouteCountsOnlyUpWholeAndThroughItsInterface) {
    const std::uint32_t recovery = Ipv4::fromOctets(192, 168, 0, 100);
    struct Case {
        const char* interface;
        bool held;
    };
    for (const Case& c : {Case{"veth0", true},   // up, /32, through veth0
                          Case{"veth1", false},  // 192.168.0.101: one digit away
                          Case{"veth2", false},  // not up
                          Case{"veth3", false},  // a /24, no host route
                          Case{"veth4", false},  // a line cut short
                          Case{"veth9", false}}) {
        EXPECT_EQ(KernelNeighbourTables::HasHostRoute(kRoutes, recovery, c.interface), c.held)
            << c.interface;
    }
}

constexpr const char* kNeighbours =
    "IP address       HW type     Flags       HW address            Mask     Device\n"
    "192.168.0.100    0x1         0x6         02:56:4e:00:00:01     *        veth0\n"
    "192.168.0.100    0x1         0x2         02:56:4e:00:00:02     *        veth1\n"
    "192.168.0.10     0x1         0x6         02:56:4e:00:00:03     *        veth2\n"
    "192.168.0.100    0x1         0xZ         02:56:4e:00:00:04     *        veth3\n";

TEST(KernelNeighbourTables, OnlyAPermanentEntryOfTheAddressOnItsInterfaceIsFound) {
    EXPECT_EQ(KernelNeighbourTables::PermanentEntry(kNeighbours, "192.168.0.100", "veth0"),
              "02:56:4e:00:00:01");
    // Learnt, not planted; an address that is a prefix of another; flags that are no number.
    EXPECT_FALSE(KernelNeighbourTables::PermanentEntry(kNeighbours, "192.168.0.100", "veth1"));
    EXPECT_FALSE(KernelNeighbourTables::PermanentEntry(kNeighbours, "192.168.0.10", "veth0"));
    EXPECT_FALSE(KernelNeighbourTables::PermanentEntry(kNeighbours, "192.168.0.100", "veth3"));
    EXPECT_FALSE(KernelNeighbourTables::PermanentEntry("", "192.168.0.100", "veth0"));
}

}  // namespace
}  // namespace vantor
