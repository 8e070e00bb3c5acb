// A DHCP server of another program on the PC (dnsmasq, as NetworkManager's shared connections
// and libvirt run it: 0.0.0.0:67 with SO_REUSEADDR) keeps the recovery service's DHCP off the
// interfaces it holds; the others, and the service's own sockets on them, are not disturbed.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Ipv4.h"
#include "recovery/DhcpMessage.h"
#include "recovery/DhcpWire.h"
#include "recovery/RecoveryLab.h"

extern char** environ;

namespace vantor {
namespace {

using namespace std::chrono_literals;
using test::BootRequest;
using test::RecoveryLab;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string kDnsmasq = "/usr/sbin/dnsmasq";
const std::uint32_t kRecoveryIp = Ipv4::fromOctets(192, 168, 0, 100);
const std::uint32_t kBroadcast = Ipv4::fromOctets(255, 255, 255, 255);

// Broadcasts a DISCOVER from the device and counts the service's offers (of the recovery
// address) that reach it within a second.
int serviceOffers(RecoveryLab& lab, const RecoveryLab::Device& device) {
    auto client = lab.socket(device, kDhcpClientPort);
    BootRequest discover;
    discover.mac = device.mac;
    discover.type = kDhcpDiscover;
    if (!client->SendTo(discover.bytes(), Endpoint{kBroadcast, kDhcpServerPort}).ok()) {
        return -1;
    }
    int offers = 0;
    while (const auto reply = test::receiveWithin(*client, 1000ms)) {
        if (reply->size() > kDhcpYiaddrOffset + 4 &&
            DhcpMessage::ReadAddress(*reply, kDhcpYiaddrOffset) == kRecoveryIp) {
            ++offers;
        }
    }
    return offers;
}

// dnsmasq serving link 1 from the PC's namespace until the test ends.
class Dnsmasq {
  public:
    Dnsmasq(const netlab::LabNamespace& pc, std::vector<std::string> extra) {
        std::vector<std::string> argv = {kDnsmasq,
                                         "--no-daemon",
                                         "--conf-file=/dev/null",
                                         "--port=0",
                                         "--pid-file=",
                                         "--leasefile-ro",
                                         "--user=root",
                                         "--dhcp-range=10.77.1.50,10.77.1.60"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        pid_ = pc.spawn(std::move(argv));
    }
    ~Dnsmasq() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Dnsmasq(const Dnsmasq&) = delete;
    Dnsmasq& operator=(const Dnsmasq&) = delete;
    bool started() const { return pid_ > 0; }

  private:
    pid_t pid_ = -1;
};

bool portHeld(const netlab::LabNamespace& pc) {
    return pc.exec({"/bin/ss", "-Hnlu", "sport", "=", ":67"}).output.find(":67 ") !=
           std::string::npos;
}

// The listener's own row; the two rows that follow it may interleave with another listener's.
std::string refusal(std::uint32_t pcAddress) {
    return "> [NIC " + Ipv4::format(pcAddress) + "] Error: Can't create dhcp socket.\r\n";
}

struct RivalCase {
    const char* name;
    bool boundToTheFirstLink;  // --interface with --bind-interfaces: SO_BINDTODEVICE
};

void PrintTo(const RivalCase& c, std::ostream* out) {
    *out << c.name;
}

class RivalDhcpServer : public ::testing::TestWithParam<RivalCase> {};

TEST_P(RivalDhcpServer, KeepsTheServiceOffTheLinksItHolds) {
    if (::access(kDnsmasq.c_str(), X_OK) != 0) {
        GTEST_SKIP() << "dnsmasq is not installed (scripts/setup.sh installs it)";
    }
    RecoveryLab lab;
    const auto& first = lab.addDevice(test::deviceMac(0x61), false);
    const auto& second = lab.addDevice(test::deviceMac(0x62), false);
    std::vector<std::string> extra;
    if (GetParam().boundToTheFirstLink) {
        extra = {"--interface=" + first.pcInterface, "--bind-interfaces"};
    }
    const Dnsmasq rival(lab.pc, extra);
    ASSERT_TRUE(rival.started());
    ASSERT_TRUE(test::eventually([&] { return portHeld(lab.pc); }, RecoveryLab::kPatience));

    lab.start(test::recoveryTimings(), nullptr, false);
    EXPECT_TRUE(lab.waitForLog(refusal(first.pcAddress))) << lab.log();
    EXPECT_TRUE(lab.waitForLog("A DHCP server service may be runing on this PC.\n"));
    EXPECT_TRUE(lab.waitForLog("Please disable the service and try again.\n")) << lab.log();
    if (!GetParam().boundToTheFirstLink) {
        // Bound to no interface, it receives every link's requests.
        EXPECT_TRUE(lab.waitForLog(refusal(second.pcAddress))) << lab.log();
        return;
    }
    // The second link is the service's alone: its DHCP socket, and not a refusal, comes up
    // beside the first listener's, and its device gets the service's offer.
    ASSERT_TRUE(test::eventually([&] { return lab.serving(second); }, RecoveryLab::kPatience))
        << lab.log();
    EXPECT_THAT(lab.log(), Not(HasSubstr(refusal(second.pcAddress))));
    EXPECT_EQ(serviceOffers(lab, second), 1) << lab.log();
    // The first link's device hears dnsmasq alone.
    EXPECT_EQ(serviceOffers(lab, first), 0) << lab.log();
}

// dnsmasq started after the service: it shares the port (SO_REUSEADDR) and offers its own
// address to the same device. The next DISCOVER finds it, and it is named once.
TEST(RecoveryRivalDhcp, ARivalStartedLaterIsNamedOnceAtTheNextDiscover) {
    if (::access(kDnsmasq.c_str(), X_OK) != 0) {
        GTEST_SKIP() << "dnsmasq is not installed (scripts/setup.sh installs it)";
    }
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x63), false);
    Timings timings = test::recoveryTimings();
    timings.rivalLookSpacing = 10ms;
    lab.start(timings);
    const std::string warning = "Another DHCP server answers on this segment";
    EXPECT_EQ(serviceOffers(lab, device), 1) << lab.log();
    EXPECT_THAT(lab.log(), Not(HasSubstr(warning))) << "no rival yet";

    const Dnsmasq rival(lab.pc, {"--interface=" + device.pcInterface, "--bind-interfaces"});
    ASSERT_TRUE(rival.started());
    ASSERT_TRUE(test::eventually(
        [&] {
            serviceOffers(lab, device);
            return lab.log().find(warning) != std::string::npos;
        },
        RecoveryLab::kPatience))
        << lab.log();
    serviceOffers(lab, device);
    serviceOffers(lab, device);
    const std::string log = lab.log();
    EXPECT_EQ(log.find(warning), log.rfind(warning)) << "warned more than once:\n" << log;
}

INSTANTIATE_TEST_SUITE_P(Rivals, RivalDhcpServer,
                         ::testing::Values(RivalCase{"BoundToTheFirstLink", true},
                                           RivalCase{"OnEveryLink", false}),
                         [](const ::testing::TestParamInfo<RivalCase>& param) {
                             return std::string(param.param.name);
                         });

}  // namespace
}  // namespace vantor
