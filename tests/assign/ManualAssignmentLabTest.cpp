// The Set button in a lab PC with two interfaces on two subnets, with real tools, real echo
// and the device simulator adopting the address on the second interface's far side.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "assign/DeviceSim.h"
#include "assign/LabConsole.h"

#include "netlab/NetLab.h"
#include "netlab/PcLab.h"
#include "support/ConsoleHarness.h"

namespace vantor {
namespace {

using netlab::LabNamespace;
using test::DeviceSim;
using test::LabConsole;
using test::ToolLog;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using namespace std::chrono_literals;

class ManualAssignmentLab : public ::testing::Test {
  protected:
    // deviceB is the device to be addressed.
    void SetUp() override { deviceMac = macOf(*deviceB, "veth0"); }

    // A console in Manual, its tools logged into `tools`.
    std::unique_ptr<LabConsole> startManual(bool routeMissing = false) {
        Timings timings = test::fastTimings();
        // The simulator needs a moment to take the address after the first echo request.
        timings.pingTimeout = 300ms;
        auto console =
            std::make_unique<LabConsole>(*pc, std::vector<std::string>{"10.0.1.1", "10.0.2.1"},
                                         timings, test::loggedSystemTools(tools, routeMissing));
        EXPECT_TRUE(
            console->onUi([](OperatorConsole& c) { c.OnRadioClicked(ControlId::RadioManual); }));
        return console;
    }

    // Types the MAC ("02-..") and IP as the operator does and presses Set.
    static bool set(LabConsole& console, const std::string& mac, const std::string& ip) {
        return console.onUi([mac, ip](OperatorConsole& c) {
            for (std::size_t i = 0; i < kMacControls.size(); ++i) {
                c.OnFieldEdited(kMacControls[i], mac.substr(3 * i, 2));
                c.OnFieldFocusLost(kMacControls[i]);
            }
            std::size_t from = 0;
            for (ControlId id : kIpControls) {
                const std::size_t dot = ip.find('.', from);
                c.OnFieldEdited(id, ip.substr(from, dot - from));
                c.OnFieldFocusLost(id);
                from = dot + 1;
            }
            c.OnSet();
        });
    }

    // "02-AB-..." of an interface.
    static std::string macOf(const LabNamespace& ns, const std::string& interface) {
        const std::string link = ns.ip({"-o", "link", "show", interface});
        const std::size_t at = link.find("link/ether ") + 11;
        std::string mac = link.substr(at, 17);
        for (char& c : mac) {
            c = c == ':' ? '-' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        return mac;
    }

    // "02-AB-..." as `ip` writes it.
    static std::string lladdrOf(std::string mac) {
        for (char& c : mac) {
            c = c == '-' ? ':' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        return mac;
    }

    netlab::TwoSubnetLab lab;
    LabNamespace* pc = &lab.pc;
    LabNamespace* deviceA = &lab.deviceA;
    LabNamespace* deviceB = &lab.deviceB;
    std::string deviceMac;
    ToolLog tools;
};

TEST_F(ManualAssignmentLab, ADeviceBehindTheSecondInterfaceTakesAnAddressOnNoSubnetOfThePc) {
    // The administrator's own entries, on both interfaces, for other addresses (one a digit
    // away from the device's).
    pc->ip({"neigh", "replace", "10.0.1.99", "lladdr", "02:00:00:00:01:99", "dev", "veth0", "nud",
            "permanent"});
    pc->ip({"neigh", "replace", "192.168.77.70", "lladdr", "02:00:00:00:77:70", "dev", "veth1",
            "nud", "permanent"});
    auto console = startManual();
    DeviceSim device(*deviceB, {"adopt", "--iface", "veth0", "--duration", "8000"});
    ASSERT_TRUE(
        test::eventually([&] { return !device.records("ready").empty(); }, LabConsole::kPatience));
    ASSERT_TRUE(set(*console, deviceMac, "192.168.77.7"));
    device.stop();

    EXPECT_THAT(console->rows(), ElementsAre("Checking for an existing IP at 192.168.77.7\r\n",
                                             "> Using Ethernet adapter: 10.0.1.1\r\n",
                                             "> Using Ethernet adapter: 10.0.2.1\r\n",
                                             "> Successfully assigned the new address\r\n",
                                             ">     MAC: " + deviceMac + "\r\n",
                                             ">     IP: 192.168.77.7\r\n", "> Ready\r\n\r\n"));
    // The first interface's entry and route are gone before the second is tried.
    std::string lladdr = deviceMac;
    std::replace(lladdr.begin(), lladdr.end(), '-', ':');
    const std::string flush = "ip neigh flush to 192.168.77.7 nud all";
    EXPECT_THAT(
        tools.lines(),
        ElementsAre(flush, flush,
                    "ip neigh replace 192.168.77.7 lladdr " + lladdr + " dev veth0 nud permanent",
                    "ip route replace 192.168.77.7/32 dev veth0 src 10.0.1.1",
                    "ip route del 192.168.77.7/32", flush,
                    "ip neigh replace 192.168.77.7 lladdr " + lladdr + " dev veth1 nud permanent",
                    "ip route replace 192.168.77.7/32 dev veth1 src 10.0.2.1",
                    "ip neigh del 192.168.77.7 dev veth1"));
    // The route that worked stays; the planted entry is gone and the administrator's stay.
    EXPECT_EQ(pc->ip({"-4", "route", "show", "192.168.77.7/32"}),
              "192.168.77.7 dev veth1 scope link src 10.0.2.1 \n");
    EXPECT_THAT(pc->ip({"-4", "neigh", "show", "192.168.77.7"}), IsEmpty());
    EXPECT_THAT(pc->ip({"-4", "neigh", "show", "10.0.1.99"}),
                HasSubstr("10.0.1.99 dev veth0 lladdr 02:00:00:00:01:99 PERMANENT"));
    EXPECT_THAT(pc->ip({"-4", "neigh", "show", "192.168.77.70"}),
                HasSubstr("192.168.77.70 dev veth1 lladdr 02:00:00:00:77:70 PERMANENT"));
    EXPECT_EQ(console->console().serverIP(), "192.168.77.7");
    EXPECT_EQ(console->console().bannerState(), BannerState::DeviceReady);
    EXPECT_TRUE(console->console().controls().state(ControlId::SetButton).enabled);
    EXPECT_THAT(device.records(), Contains("adopted 192.168.77.7"));
    EXPECT_THAT(device.records("echo"), Contains("echo 10.0.2.1 192.168.77.7 89"));
}

TEST_F(ManualAssignmentLab, AnAddressInUseIsReportedAndNoEntryForTheMacIsEverAdded) {
    auto console = startManual();
    ASSERT_TRUE(set(*console, deviceMac, "10.0.1.2"));  // deviceA has it
    EXPECT_THAT(console->rows(),
                ElementsAre("Checking for an existing IP at 10.0.1.2\r\n",
                            "> 10.0.1.2 is already in used\r\n", "> Ready\r\n\r\n"));
    EXPECT_THAT(tools.lines(), ElementsAre("ip neigh flush to 10.0.1.2 nud all"));
    EXPECT_THAT(pc->ip({"-4", "neigh", "show"}), Not(HasSubstr(lladdrOf(deviceMac))));
    EXPECT_EQ(console->console().serverIP(), "");
    EXPECT_TRUE(console->console().controls().state(ControlId::SetButton).enabled);
}

TEST_F(ManualAssignmentLab, WithoutTheRouteToolTheArpEntryAloneReachesADeviceOnTheSubnet) {
    auto console = startManual(true);
    DeviceSim device(*deviceB, {"adopt", "--iface", "veth0", "--duration", "8000"});
    ASSERT_TRUE(
        test::eventually([&] { return !device.records("ready").empty(); }, LabConsole::kPatience));
    ASSERT_TRUE(set(*console, deviceMac, "10.0.2.77"));
    device.stop();

    EXPECT_THAT(console->rows(),
                ElementsAre("> Warning: ROUTE command not found. Vantor may not work properly.\r\n",
                            "Checking for an existing IP at 10.0.2.77\r\n",
                            "> Using Ethernet adapter: 10.0.1.1\r\n",
                            "> Using Ethernet adapter: 10.0.2.1\r\n",
                            "> Successfully assigned the new address\r\n",
                            ">     MAC: " + deviceMac + "\r\n", ">     IP: 10.0.2.77\r\n",
                            "> Ready\r\n\r\n"));
    for (const std::string& line : tools.lines()) {
        EXPECT_THAT(line, Not(HasSubstr(" route "))) << "the route tool was run";
    }
    EXPECT_THAT(pc->ip({"-4", "route", "show", "10.0.2.77/32"}), IsEmpty());
}

}  // namespace
}  // namespace vantor
