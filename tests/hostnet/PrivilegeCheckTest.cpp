#include "hostnet/PrivilegeCheck.h"

#include <linux/capability.h>

#include <gtest/gtest.h>

#include "Unprivileged.h"
#include "hostnet/AmbientCapabilityScope.h"
#include "hostnet/Capabilities.h"

namespace vantor {
namespace {

const std::uint64_t kAll =
    Capabilities::kNetAdmin | Capabilities::kNetRaw | Capabilities::kNetBindService;

TEST(PrivilegeCheckTest, NothingToSayWhenEverythingIsAllowed) {
    EXPECT_EQ(PrivilegeCheck::StatusText(PrivilegeState{kAll, kAll, false, 1024, {}, {}}), "");
    // No CAP_NET_RAW, but echo through datagram sockets, and low ports open to everyone.
    EXPECT_EQ(PrivilegeCheck::StatusText(PrivilegeState{
                  Capabilities::kNetAdmin, Capabilities::kNetAdmin, true, 0, {}, {}}),
              "");
}

TEST(PrivilegeCheckTest, SaysWhatIsMissingInOneLine) {
    EXPECT_EQ(PrivilegeCheck::StatusText(PrivilegeState{0, 0, false, 1024, {}, {}}),
              "> Warning: Vantor is not allowed to change the ARP cache and the routing table, "
              "send ICMP echo requests and answer boot requests on UDP ports 67 and 69, so these "
              "steps will fail. Run it as root, or give the program the capabilities with "
              "\"setcap cap_net_admin,cap_net_raw,cap_net_bind_service+ep\".\r\n");
    // CAP_NET_ADMIN only in the effective set cannot be handed to `ip`.
    const std::uint64_t rest = Capabilities::kNetRaw | Capabilities::kNetBindService;
    EXPECT_EQ(PrivilegeCheck::StatusText(PrivilegeState{kAll, rest, false, 1024, {}, {}}),
              "> Warning: Vantor is not allowed to change the ARP cache and the routing table, "
              "so these steps will fail. Run it as root, or give the program the capabilities "
              "with \"setcap cap_net_admin+ep\".\r\n");
    EXPECT_EQ(
        PrivilegeCheck::StatusText(PrivilegeState{Capabilities::kNetAdmin | Capabilities::kNetRaw,
                                                  Capabilities::kNetAdmin,
                                                  false,
                                                  68,
                                                  {},
                                                  {}}),
        "> Warning: Vantor is not allowed to answer boot requests on UDP ports 67 and 69, "
        "so these steps will fail. Run it as root, or give the program the capabilities "
        "with \"setcap cap_net_bind_service+ep\".\r\n");
}

TEST(PrivilegeCheckTest, WithAHelperTheRemedyNamesItsFile) {
    const std::string helper = "/usr/libexec/vantor/vantor-net-helper";
    EXPECT_EQ(PrivilegeCheck::StatusText(PrivilegeState{kAll & ~Capabilities::kNetBindService,
                                                        kAll & ~Capabilities::kNetBindService,
                                                        false,
                                                        1024,
                                                        helper,
                                                        {}}),
              "> Warning: Vantor is not allowed to answer boot requests on UDP ports 67 and 69, "
              "so these steps will fail. Run it as root, or give its network helper the "
              "capabilities with \"setcap cap_net_bind_service+ep " +
                  helper + "\".\r\n");
    EXPECT_EQ(PrivilegeCheck::StatusText(
                  PrivilegeState{0, 0, true, 0, helper, "No such file or directory"}),
              "> Warning: Vantor is not allowed to change the ARP cache and the routing table, "
              "so these steps will fail. Its network helper " +
                  helper +
                  " could not be started (No such file or directory): run Vantor as root, or "
                  "install the helper and give it the capabilities with \"setcap "
                  "cap_net_admin+ep " +
                  helper + "\".\r\n");
}

TEST(PrivilegeCheckTest, PingGroupRange) {
    const std::vector<gid_t> root{0};
    const std::vector<gid_t> some{50, 150};
    EXPECT_FALSE(PrivilegeCheck::PingGroupAllows("1\t0", root));  // the kernel's "nobody"
    EXPECT_TRUE(PrivilegeCheck::PingGroupAllows("0\t2147483647", root));
    EXPECT_TRUE(PrivilegeCheck::PingGroupAllows("100 200", some));
    EXPECT_FALSE(PrivilegeCheck::PingGroupAllows("151 200", some));
    EXPECT_FALSE(PrivilegeCheck::PingGroupAllows("", root));
    EXPECT_FALSE(PrivilegeCheck::PingGroupAllows("zero", root));
}

TEST(PrivilegeCheckTest, ProbeSeesWhatTheProcessHolds) {
    // The suite runs as root: everything is allowed.
    EXPECT_EQ(PrivilegeCheck::StatusText(PrivilegeCheck::Probe()), "") << "not running as root?";
    // Without root and with CAP_NET_ADMIN alone, the probe notices the rest is missing (the
    // suite's namespace keeps the kernel's default ping_group_range of "1 0").
    const int result = RunUnprivileged(Capabilities::kNetAdmin, [] {
        const PrivilegeState state = PrivilegeCheck::Probe();
        return (PrivilegeCheck::CanChangeArpAndRoutes(state) ? 1 : 0) |
               (PrivilegeCheck::CanSendEcho(state) ? 2 : 0) |
               (PrivilegeCheck::CanServeBootRequests(state) ? 4 : 0);
    });
    EXPECT_EQ(result, 1);
}

TEST(AmbientCapabilityScopeTest, RaisesPermittedCapabilitiesForTheScopeOnly) {
    const int result = RunUnprivileged(Capabilities::kNetAdmin, [] {
        int failures = 0;
        {
            const AmbientCapabilityScope scope(Capabilities::kNetAdmin | Capabilities::kNetRaw);
            // CAP_NET_RAW is not permitted, so it cannot be handed on.
            failures += scope.ambient() == Capabilities::kNetAdmin ? 0 : 1;
            failures += Capabilities::IsAmbient(CAP_NET_ADMIN) ? 0 : 2;
            failures += Capabilities::IsAmbient(CAP_NET_RAW) ? 4 : 0;
        }
        failures += Capabilities::IsAmbient(CAP_NET_ADMIN) ? 8 : 0;
        const auto sets = Capabilities::OfThisThread();
        failures += sets && sets->inheritable == 0 ? 0 : 16;
        return failures;
    });
    EXPECT_EQ(result, 0);
}

}  // namespace
}  // namespace vantor
