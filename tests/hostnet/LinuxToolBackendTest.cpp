#include "hostnet/LinuxToolBackend.h"

#include <gtest/gtest.h>

#include "base/Ipv4.h"
#include "hostnet/HostToolLimits.h"

namespace vantor {
namespace {

const std::string kIp = "/usr/sbin/ip";

LinuxToolBackend backendWithInterface(std::string localAddress, std::string device) {
    return LinuxToolBackend(
        {kIp}, [](const std::string&) { return true; },
        [=](std::uint32_t address) -> std::optional<std::string> {
            if (Ipv4::parse(localAddress) == address) {
                return device;
            }
            return std::nullopt;
        });
}

TEST(LinuxToolBackendTest, IpIsLookedForAtTheFixedPathsInOrder) {
    const std::vector<std::string> fixed(kIpToolPaths.begin(), kIpToolPaths.end());
    std::vector<std::string> probed;
    LinuxToolBackend backend(
        fixed,
        [&](const std::string& path) {
            probed.push_back(path);
            return path == "/usr/bin/ip";
        },
        [](std::uint32_t) { return std::nullopt; });
    EXPECT_EQ(backend.LocateSystemTool(ToolKind::Arp).value_or(""), "/usr/bin/ip");
    EXPECT_EQ(backend.LocateSystemTool(ToolKind::Route).value_or(""), "/usr/bin/ip");
    EXPECT_EQ(backend.LocateSystemTool(static_cast<ToolKind>(0)), std::nullopt);
    EXPECT_EQ(probed, (std::vector<std::string>{"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip",
                                                "/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip"}));

    LinuxToolBackend none(
        fixed, [](const std::string&) { return false; },
        [](std::uint32_t) { return std::nullopt; });
    EXPECT_EQ(none.LocateSystemTool(ToolKind::Route), std::nullopt);
}

TEST(LinuxToolBackendTest, CommandsAreArgumentVectorsOfIp) {
    const LinuxToolBackend backend = backendWithInterface("192.168.1.10", "eth1");
    EXPECT_EQ(backend.RouteAddCommand(kIp, "192.168.1.50", "192.168.1.10"),
              (ToolCommand{kIp, "route", "replace", "192.168.1.50/32", "dev", "eth1", "src",
                           "192.168.1.10"}));
    EXPECT_EQ(backend.RouteDeleteCommand(kIp, "192.168.1.50"),
              (ToolCommand{kIp, "route", "del", "192.168.1.50/32"}));
    EXPECT_EQ(backend.ArpAddCommand(kIp, "192.168.1.50", "00-1A-22-33-44-FF", "192.168.1.10"),
              (ToolCommand{kIp, "neigh", "replace", "192.168.1.50", "lladdr", "00:1A:22:33:44:FF",
                           "dev", "eth1", "nud", "permanent"}));
    EXPECT_EQ(backend.ArpDeleteCommand(kIp, "192.168.1.50"),
              (ToolCommand{kIp, "neigh", "flush", "to", "192.168.1.50", "nud", "all"}));
    EXPECT_EQ(backend.ArpDeleteOnCommand(kIp, "192.168.1.50", "192.168.1.10"),
              (ToolCommand{kIp, "neigh", "del", "192.168.1.50", "dev", "eth1"}));
    EXPECT_EQ(backend.RouteListCommand(kIp), (ToolCommand{kIp, "-4", "route", "show"}));
}

TEST(LinuxToolBackendTest, RequestsThatNameNoAddressOrNoOwnInterfaceGiveNoCommand) {
    const LinuxToolBackend backend = backendWithInterface("192.168.1.10", "eth1");
    // The local address belongs to no interface (it went away, or it is not ours).
    EXPECT_EQ(backend.RouteAddCommand(kIp, "192.168.1.50", "192.168.2.10"), std::nullopt);
    EXPECT_EQ(backend.ArpAddCommand(kIp, "192.168.1.50", "00-11-22-33-44-55", "192.168.2.10"),
              std::nullopt);
    // Texts that ip would take for options or for other objects.
    EXPECT_EQ(backend.RouteAddCommand(kIp, "-all", "192.168.1.10"), std::nullopt);
    EXPECT_EQ(backend.RouteDeleteCommand(kIp, "default"), std::nullopt);
    EXPECT_EQ(backend.ArpDeleteCommand(kIp, "all"), std::nullopt);
    // No request empties the whole table: it holds the administrator's entries too.
    EXPECT_EQ(backend.ArpDeleteCommand(kIp, "*"), std::nullopt);
    EXPECT_EQ(backend.ArpDeleteOnCommand(kIp, "*", "192.168.1.10"), std::nullopt);
    EXPECT_EQ(backend.ArpDeleteOnCommand(kIp, "192.168.1.50", "192.168.2.10"), std::nullopt);
    EXPECT_EQ(backend.ArpDeleteOnCommand(kIp, "192.168.1.50", "eth1"), std::nullopt);
    EXPECT_EQ(backend.ArpAddCommand(kIp, "192.168.1.256", "00-11-22-33-44-55", "192.168.1.10"),
              std::nullopt);
    EXPECT_EQ(backend.ArpAddCommand(kIp, "192.168.1.50", "00-11-22-33-44", "192.168.1.10"),
              std::nullopt);
}

struct MacCase {
    const char* text;
    std::optional<std::string> expected;
};

class LinkLayerAddressTest : public ::testing::TestWithParam<MacCase> {};

TEST_P(LinkLayerAddressTest, DashesBecomeColons) {
    EXPECT_EQ(LinuxToolBackend::LinkLayerAddress(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Macs, LinkLayerAddressTest,
                         ::testing::Values(MacCase{"00-11-22-33-44-55", "00:11:22:33:44:55"},
                                           MacCase{"aa-BB-cc-DD-ee-FF", "aa:BB:cc:DD:ee:FF"},
                                           MacCase{"00:11:22:33:44:55", "00:11:22:33:44:55"},
                                           MacCase{"00-11-22-33-44-5", std::nullopt},
                                           MacCase{"00-11-22-33-44-555", std::nullopt},
                                           MacCase{"00-11-22-33-44-5G", std::nullopt},
                                           MacCase{"00_11-22-33-44-55", std::nullopt},
                                           MacCase{"0011-22-33-44-555", std::nullopt},
                                           MacCase{"", std::nullopt}));

TEST(LinuxRouteListingTest, RoutesBecomeColumnsUnderAHeader) {
    const char* const listing =
        "default via 10.0.0.1 dev eth0 proto dhcp src 10.0.0.5 metric 100 \n"
        "10.0.0.0/24 dev eth0 proto kernel scope link src 10.0.0.5 metric 100 \n"
        "172.30.0.5 dev veth1 scope link src 10.200.2.1 \n"
        "blackhole 10.99.0.0/16 \n"
        "10.50.0.0/16 proto static metric 20 \n"
        "\tnexthop via 10.0.0.2 dev eth0 weight 1 \n"
        "\tnexthop via 10.0.0.3 dev eth0 weight 1 \n"
        "10.60.0.0/16 via inet6 fe80::1 dev eth0 \n"
        "10.70.0.0/16 nhid 7 via 10.0.0.9 dev eth0 linkdown\n";
    EXPECT_EQ(LinuxToolBackend::ReformatRouteListing(listing),
              "Destination\tGateway\tInterface\tSource\tMetric\n"
              "default\t10.0.0.1\teth0\t10.0.0.5\t100\n"
              "10.0.0.0/24\tOn-link\teth0\t10.0.0.5\t100\n"
              "172.30.0.5\tOn-link\tveth1\t10.200.2.1\t0\n"
              "10.99.0.0/16\tblackhole\t-\t-\t0\n"
              "10.50.0.0/16\t10.0.0.2\teth0\t-\t20\n"
              "10.50.0.0/16\t10.0.0.3\teth0\t-\t20\n"
              "10.60.0.0/16\tfe80::1\teth0\t-\t0\n"
              "10.70.0.0/16\t10.0.0.9\teth0\t-\t0\n");
}

TEST(LinuxRouteListingTest, ToolMessagesStayAsTheyAreAndNothingGivesNothing) {
    EXPECT_EQ(LinuxToolBackend::ReformatRouteListing("Error: any valid prefix is expected.\r\n"),
              "Error: any valid prefix is expected.\n");
    EXPECT_EQ(LinuxToolBackend::ReformatRouteListing(""), "");
    EXPECT_EQ(LinuxToolBackend::ReformatRouteListing(" \n\n"), "");
}

}  // namespace
}  // namespace vantor
