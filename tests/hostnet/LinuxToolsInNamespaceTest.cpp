// The Linux tools against a real kernel: every operation changes the neighbour and route
// tables of a lab namespace, never the machine's own.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Unprivileged.h"
#include "hostnet/CCommandRunner.h"
#include "hostnet/Capabilities.h"
#include "hostnet/HostTools.h"
#include "netlab/NetLab.h"

namespace vantor {
namespace {

using netlab::LabNamespace;
using netlab::NetLab;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

// a has veth0 (10.200.1.1) to b and veth1 (10.200.2.1) to c.
class LinuxToolsInNamespaceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        a = &lab.addNamespace();
        LabNamespace& b = lab.addNamespace();
        LabNamespace& c = lab.addNamespace();
        lab.connect(*a, "10.200.1.1/24", b, "10.200.1.2/24");
        lab.connect(*a, "10.200.2.1/24", c, "10.200.2.2/24");
    }

    // Runs an operation of the tools on a thread inside a.
    template <class F>
    auto inA(F&& operation) {
        return a->run([&] { return operation(tools); });
    }

    NetLab lab;
    LabNamespace* a = nullptr;
    std::mutex routeLock;
    HostTools tools{routeLock, Timings{}};
};

TEST_F(LinuxToolsInNamespaceTest, ArpAddPlantsAPermanentEntryOnTheInterfaceOwningTheAddress) {
    EXPECT_TRUE(inA([](HostTools& t) {
                    return t.ArpAdd("10.200.2.50", "00-11-22-33-44-55", "10.200.2.1");
                }).succeeded());
    EXPECT_THAT(a->ip({"neigh", "show", "10.200.2.50"}),
                HasSubstr("10.200.2.50 dev veth1 lladdr 00:11:22:33:44:55 PERMANENT"));
    // A second entry for the address replaces the first.
    inA([](HostTools& t) { return t.ArpAdd("10.200.2.50", "00-11-22-33-44-66", "10.200.2.1"); });
    EXPECT_THAT(a->ip({"neigh", "show", "10.200.2.50"}),
                HasSubstr("10.200.2.50 dev veth1 lladdr 00:11:22:33:44:66 PERMANENT"));
}

TEST_F(LinuxToolsInNamespaceTest, ArpDeleteRemovesOneAddressEverywhereAndNothingElse) {
    inA([](HostTools& t) {
        t.ArpAdd("10.200.9.9", "00-11-22-33-44-55", "10.200.1.1");
        t.ArpAdd("10.200.9.9", "00-11-22-33-44-56", "10.200.2.1");
        return t.ArpAdd("10.200.1.60", "00-11-22-33-44-57", "10.200.1.1");
    });
    a->ip({"neigh", "replace", "10.200.1.77", "lladdr", "00:00:00:00:00:77", "dev", "veth0", "nud",
           "stale"});
    ASSERT_THAT(a->ip({"neigh", "show", "10.200.9.9"}), HasSubstr("veth1"));

    EXPECT_TRUE(inA([](HostTools& t) { return t.ArpDelete("10.200.9.9"); }));
    EXPECT_THAT(a->ip({"neigh", "show", "10.200.9.9"}), IsEmpty());
    EXPECT_THAT(a->ip({"neigh", "show"}), HasSubstr("10.200.1.60 dev veth0"));

    // "*" names no address: the table is never emptied as a whole.
    EXPECT_TRUE(inA([](HostTools& t) { return t.ArpDelete("*"); }));
    EXPECT_THAT(a->ip({"neigh", "show"}), HasSubstr("10.200.1.60 dev veth0"));
    EXPECT_THAT(a->ip({"neigh", "show"}), HasSubstr("10.200.1.77 dev veth0"));
}

TEST_F(LinuxToolsInNamespaceTest, ArpDeleteOnRemovesTheOneEntryOfThatInterface) {
    inA([](HostTools& t) {
        t.ArpAdd("10.200.9.9", "00-11-22-33-44-55", "10.200.1.1");
        return t.ArpAdd("10.200.9.9", "00-11-22-33-44-56", "10.200.2.1");
    });
    // The administrator's entry for a neighbour one digit away.
    a->ip({"neigh", "replace", "10.200.9.90", "lladdr", "00:00:00:00:00:90", "dev", "veth1", "nud",
           "permanent"});

    EXPECT_TRUE(inA([](HostTools& t) { return t.ArpDeleteOn("10.200.9.9", "10.200.2.1"); }));
    const std::string left = a->ip({"neigh", "show", "10.200.9.9"});
    EXPECT_THAT(left, HasSubstr("10.200.9.9 dev veth0 lladdr 00:11:22:33:44:55 PERMANENT"));
    EXPECT_THAT(left, Not(HasSubstr("veth1")));
    EXPECT_THAT(a->ip({"neigh", "show", "10.200.9.90"}), HasSubstr("dev veth1 lladdr "
                                                                   "00:00:00:00:00:90 PERMANENT"));
    // Gone already: the tool fails, which is no missing tool.
    EXPECT_TRUE(inA([](HostTools& t) { return t.ArpDeleteOn("10.200.9.9", "10.200.2.1"); }));
}

TEST_F(LinuxToolsInNamespaceTest, RouteAddPutsAHostRouteOnTheInterfaceOwningTheGateway) {
    EXPECT_TRUE(
        inA([](HostTools& t) { return t.RouteAdd("172.30.0.5", "10.200.2.1"); }).succeeded());
    EXPECT_THAT(a->ip({"-4", "route", "show", "172.30.0.5/32"}),
                HasSubstr("172.30.0.5 dev veth1 scope link src 10.200.2.1"));
    EXPECT_THAT(a->ip({"route", "get", "172.30.0.5"}), HasSubstr("dev veth1 src 10.200.2.1"));

    // Through another interface, the route is replaced rather than added a second time.
    inA([](HostTools& t) { return t.RouteAdd("172.30.0.5", "10.200.1.1"); });
    EXPECT_EQ(a->ip({"-4", "route", "show", "172.30.0.5/32"}),
              "172.30.0.5 dev veth0 scope link src 10.200.1.1 \n");

    EXPECT_TRUE(inA([](HostTools& t) { return t.RouteDelete("172.30.0.5"); }).succeeded());
    EXPECT_THAT(a->ip({"-4", "route", "show", "172.30.0.5/32"}), IsEmpty());

    // Gone already: the tool refuses, and its own words come back.
    const ToolResult again = inA([](HostTools& t) { return t.RouteDelete("172.30.0.5"); });
    EXPECT_EQ(again.status, ToolStatus::Failed);
    EXPECT_THAT(again.failure, HasSubstr("ip: RTNETLINK answers: No such process"));
}

TEST_F(LinuxToolsInNamespaceTest, RoutingTableDetailShowsTheNamespacesRoutes) {
    const RoutingTableBox box = inA([](HostTools& t) { return t.ShowRoutingTable(); });
    EXPECT_EQ(box.icon, MessageIcon::Information);
    EXPECT_EQ(box.text,
              "Destination\tGateway\tInterface\tSource\tMetric\n"
              "10.200.1.0/24\tOn-link\tveth0\t10.200.1.1\t0\n"
              "10.200.2.0/24\tOn-link\tveth1\t10.200.2.1\t0\n");

    // A namespace with nothing but loopback has an empty main table.
    const LabNamespace& bare = lab.addNamespace();
    const RoutingTableBox none = bare.run([this] { return tools.ShowRoutingTable(); });
    EXPECT_EQ(none.icon, MessageIcon::Exclamation);
    EXPECT_EQ(none.text, "Routing table not found on this machine");
}

TEST_F(LinuxToolsInNamespaceTest, ProgramWithFileCapabilitiesHandsThemToIp) {
    // Without root, with CAP_NET_ADMIN permitted: the tools still change the tables.
    const int handedOn = a->run([] {
        return RunUnprivileged(Capabilities::kNetAdmin, [] {
            std::mutex lock;
            HostTools unprivileged(lock, Timings{});
            const bool ran =
                unprivileged.RouteAdd("172.30.0.9", "10.200.2.1").succeeded() &&
                unprivileged.ArpAdd("10.200.2.51", "00-11-22-33-44-55", "10.200.2.1").succeeded();
            return ran ? 0 : 1;
        });
    });
    EXPECT_EQ(handedOn, 0);
    EXPECT_THAT(a->ip({"-4", "route", "show", "172.30.0.9/32"}), HasSubstr("dev veth1"));
    EXPECT_THAT(a->ip({"neigh", "show", "10.200.2.51"}), HasSubstr("PERMANENT"));

    // The same run without handing the capability on fails: the test above proves something.
    const int plain = a->run([] {
        return RunUnprivileged(Capabilities::kNetAdmin, [] {
            std::string output;
            CCommandRunner runner(
                {"/usr/sbin/ip", "route", "replace", "172.30.0.10/32", "dev", "veth1"}, output);
            runner.Run();
            return output.find("Operation not permitted") != std::string::npos ? 0 : 1;
        });
    });
    EXPECT_EQ(plain, 0);
    EXPECT_THAT(a->ip({"-4", "route", "show", "172.30.0.10/32"}), IsEmpty());
}

}  // namespace
}  // namespace vantor
