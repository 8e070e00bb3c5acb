// The console with the product's workers in a lab, under load: a storm of mode switches while
// devices announce themselves and ask to boot, and interfaces that come and go.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "assign/AnnouncementWire.h"
#include "base/Ipv4.h"
#include "console/OperatorConsole.h"
#include "net/WellKnownPorts.h"
#include "recovery/DhcpWire.h"
#include "recovery/RecoveryLab.h"
#include "recovery/RecoveryService.h"
#include "recovery/TftpPacket.h"
#include "recovery/TftpWire.h"
#include "support/ProcessHoldings.h"

namespace vantor {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::RecoveryLab;

// Nothing the workers made outlives them: the same threads and descriptors as before.
void expectHoldingAsBefore(const test::ProcessHoldings& before) {
    test::ProcessHoldings after;
    EXPECT_TRUE(test::settlesBackTo(before, after)) << before.text() << " -> " << after.text();
}

// Every worker of the console has ended and been released.
bool quiet(OperatorConsole& console) {
    return console.listenerThreads() == 0 && console.recoveryThreads() == 0 &&
           !console.upgradeActive() && console.listenerCount() == 0 &&
           console.recoveryListenerCount() == 0;
}

std::vector<std::uint8_t> announcement(const RecoveryLab::Device& device) {
    std::vector<std::uint8_t> datagram(kAnnouncementSize, 0);
    std::copy(device.mac.begin(), device.mac.end(), datagram.begin() + kAnnouncementMacOffset);
    std::memcpy(datagram.data() + kAnnouncementIpOffset, &device.address, 4);
    std::memcpy(datagram.data() + kAnnouncementTextOffset, "storm-camera", 12);
    return datagram;
}

// A device with an address announces itself and asks for a kernel over TFTP, another without
// one broadcasts DHCP DISCOVERs, each a few hundred times a second, until stopped or the
// count is reached.
class DeviceTraffic {
  public:
    DeviceTraffic(RecoveryLab& lab, const RecoveryLab::Device& announcer,
                  const RecoveryLab::Device& booter)
        : announcer_(lab.socket(announcer, kNotifyPort, announcer.address)),
          requester_(lab.socket(announcer, 0, announcer.address)),
          booter_(lab.socket(booter, kDhcpClientPort)),
          thread_([this, &announcer, &booter](const std::stop_token& stop) {
              const auto announced = announcement(announcer);
              test::BootRequest discover;
              discover.mac = booter.mac;
              discover.type = kDhcpDiscover;
              const auto request = discover.bytes();
              const auto rrq =
                  TftpPacket::BuildRequest(kTftpRrq, std::string(kBootImageNames[0]), "octet");
              const auto deadline = Clock::now() + 120s;
              for (int n = 0; n < 100000 && !stop.stop_requested() && Clock::now() < deadline;
                   ++n) {
                  announcer_->SendTo(announced, Endpoint{0xFFFFFFFFu, kAnnouncePort});
                  booter_->SendTo(request, Endpoint{0xFFFFFFFFu, kDhcpServerPort});
                  if (n % 10 == 0) {
                      requester_->SendTo(rrq, Endpoint{announcer.pcAddress, kTftpPort});
                  }
                  std::this_thread::sleep_for(3ms);
                  ++sent;
              }
          }) {}

    std::atomic<int> sent{0};

  private:
    std::unique_ptr<CTimedSocket> announcer_;
    std::unique_ptr<CTimedSocket> requester_;
    std::unique_ptr<CTimedSocket> booter_;
    std::jthread thread_;
};

TEST(ModeStorm, AThousandSwitchesUnderTrafficLeaveNoWorkerThreadOrSocket) {
    RecoveryLab lab;
    const auto& announcer = lab.addDevice(test::deviceMac(0x21));
    const auto& booter = lab.addDevice(test::deviceMac(0x22), false);
    // A transfer whose client never acknowledges holds up leaving the mode for two
    // time-outs; short ones keep the storm going.
    Timings timings = test::recoveryTimings();
    timings.tftpTimeout = 30ms;
    lab.start(timings);
    // The state to measure from and to come back to.
    lab.settleInManual();
    ASSERT_TRUE(test::eventually([&] { return quiet(lab.console()); }, RecoveryLab::kPatience));

    // The traffic's own sockets and thread belong to the baseline.
    auto traffic = std::make_unique<DeviceTraffic>(lab, announcer, booter);
    const auto before = test::ProcessHoldings::now();

    // Every radio in turn, so that each mode is entered from each other one (the switches the
    // mode table refuses are clicked too: they must do nothing, quickly).
    constexpr std::array<ControlId, 4> kRadios = {ControlId::RadioAuto, ControlId::RadioRecovery,
                                                  ControlId::RadioFirmwareFile,
                                                  ControlId::RadioManual};
    constexpr int kSwitches = 1000;
    int clicks = 0;
    int changes = 0;
    const auto started = Clock::now();
    const auto deadline = started + 90s;
    for (int i = 0; i < kSwitches && Clock::now() < deadline; ++i) {
        const ControlId radio = kRadios[(i + i / 4) % kRadios.size()];
        lab.onUi([&](OperatorConsole& console) {
            const ConsoleMode was = console.mode();
            console.OnRadioClicked(radio);
            changes += console.mode() != was ? 1 : 0;
        });
        ++clicks;
        // The workers get time to reach their sockets and the traffic, now and then more.
        std::this_thread::sleep_for(i % 50 == 0 ? 20ms : 2ms);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    EXPECT_EQ(clicks, kSwitches) << "the storm ran out of time";

    lab.onUi([](OperatorConsole& console) { console.OnRadioClicked(ControlId::RadioAuto); });
    lab.onUi([](OperatorConsole& console) { console.OnRadioClicked(ControlId::RadioManual); });
    EXPECT_TRUE(test::eventually([&] { return quiet(lab.console()); }, RecoveryLab::kPatience))
        << "counters: listeners " << lab.console().listenerThreads() << ", threads "
        << lab.console().recoveryThreads();
    EXPECT_GT(traffic->sent.load(), 0);
    expectHoldingAsBefore(before);
    std::printf("storm: %d clicks (%d mode changes) in %.1f s under %d rounds of traffic\n", clicks,
                changes, seconds, traffic->sent.load());
}

// Listeners of the mode, one per interface address, all running.
bool following(OperatorConsole& console, ConsoleMode mode, int addresses) {
    const std::size_t listeners =
        mode == ConsoleMode::Auto ? console.listenerCount() : console.recoveryListenerCount();
    const int running =
        mode == ConsoleMode::Auto ? console.listenerThreads() : console.recoveryThreads();
    return console.mode() == mode && console.interfaces().count() == addresses &&
           listeners == static_cast<std::size_t>(addresses) && running == addresses;
}

TEST(InterfaceChurn, ListenersFollowAddressesAndInterfacesThatComeAndGo) {
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x23));
    lab.start();
    lab.settleInManual();
    ASSERT_TRUE(test::eventually([&] { return quiet(lab.console()); }, RecoveryLab::kPatience));
    const auto before = test::ProcessHoldings::now();

    for (const auto& step : {std::pair{ControlId::RadioRecovery, ConsoleMode::Recovery},
                             std::pair{ControlId::RadioAuto, ConsoleMode::Auto}}) {
        // Plain names, not a structured binding: clang 14 cannot capture those in a lambda.
        const ControlId radio = step.first;
        const ConsoleMode mode = step.second;
        SCOPED_TRACE(radio == ControlId::RadioAuto ? "Auto" : "Recovery");
        lab.onUi([radio](OperatorConsole& console) { console.OnRadioClicked(radio); });
        ASSERT_TRUE(test::eventually([&] { return following(lab.console(), mode, 1); },
                                     RecoveryLab::kPatience));
        for (int round = 0; round < 5; ++round) {
            // A second address on the device's link, then an interface of its own.
            lab.pc.ip({"address", "add", "10.79.0.1/24", "dev", device.pcInterface});
            ASSERT_TRUE(test::eventually([&] { return following(lab.console(), mode, 2); },
                                         RecoveryLab::kPatience))
                << lab.log();
            lab.pc.ip({"link", "add", "churn0", "type", "veth", "peer", "name", "churn1"});
            lab.pc.ip({"link", "set", "churn1", "up"});
            lab.pc.ip({"address", "add", "10.79.1.1/24", "dev", "churn0"});
            lab.pc.ip({"link", "set", "churn0", "up"});
            ASSERT_TRUE(test::eventually([&] { return following(lab.console(), mode, 3); },
                                         RecoveryLab::kPatience))
                << lab.log();
            // Both go away at once: the interface with its address, and the extra address.
            lab.pc.ip({"link", "del", "churn0"});
            lab.pc.ip({"address", "del", "10.79.0.1/24", "dev", device.pcInterface});
            ASSERT_TRUE(test::eventually([&] { return following(lab.console(), mode, 1); },
                                         RecoveryLab::kPatience))
                << lab.log();
        }
        EXPECT_TRUE(lab.serving(device) == (mode == ConsoleMode::Recovery));
        lab.onUi([](OperatorConsole& console) { console.OnRadioClicked(ControlId::RadioManual); });
        ASSERT_TRUE(test::eventually([&] { return quiet(lab.console()); }, RecoveryLab::kPatience));
    }
    expectHoldingAsBefore(before);
}

}  // namespace
}  // namespace vantor
