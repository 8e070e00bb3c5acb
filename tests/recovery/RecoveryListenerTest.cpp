// Starting and stopping the recovery listeners with the console: the check that the recovery
// address is free, and leaving Firmware Upgrade mode in each state of the service.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>

#include "base/Ipv4.h"
#include "recovery/RecoveryLab.h"
#include "recovery/RecoveryService.h"
#include "recovery/TftpTestClient.h"
#include "recovery/TftpWire.h"
#include "support/FakePinger.h"

namespace vantor {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::RecoveryLab;
using test::TftpTestClient;
using ::testing::HasSubstr;
using ::testing::Not;

// Leaves Firmware Upgrade for Auto the way the operator does; how long the switch took.
std::chrono::milliseconds leaveRecovery(RecoveryLab& lab) {
    const auto begin = Clock::now();
    lab.onUi([](OperatorConsole& console) { console.OnRadioClicked(ControlId::RadioAuto); });
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begin);
}

void expectAllEnded(RecoveryLab& lab, const RecoveryLab::Device& device) {
    EXPECT_EQ(lab.console().mode(), ConsoleMode::Auto);
    EXPECT_EQ(lab.console().recoveryThreads(), 0);
    EXPECT_EQ(lab.console().recoveryListenerCount(), 0u);
    EXPECT_FALSE(lab.serving(device));
    EXPECT_THAT(lab.pc.exec({"/bin/ss", "-Hnua"}).output, Not(HasSubstr(":69 ")));
}

TEST(RecoveryListener, AHostAlreadyAtTheRecoveryAddressKeepsTheServiceOffItsInterface) {
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x71));
    device.space->ip({"address", "add", "192.168.0.100/32", "dev", device.interface});
    lab.pc.ip({"route", "add", "192.168.0.100/32", "dev", device.pcInterface});
    lab.start(test::recoveryTimings(), nullptr, false);

    ASSERT_TRUE(lab.waitForLog("> IP: 192.168.0.100 already exist.")) << lab.log();
    EXPECT_EQ(lab.view().rows().back(), "> IP: 192.168.0.100 already exist.");
    EXPECT_FALSE(lab.serving(device));
    EXPECT_LT(leaveRecovery(lab), 2000ms);
    expectAllEnded(lab, device);
}

TEST(RecoveryListener, LeavingWhileIdleEndsEveryReceiveAtOnce) {
    RecoveryLab lab;
    const auto& first = lab.addDevice(test::deviceMac(0x72));
    const auto& second = lab.addDevice(test::deviceMac(0x73));
    lab.start();
    EXPECT_EQ(lab.console().recoveryThreads(), 2);

    EXPECT_LT(leaveRecovery(lab), 2000ms);
    expectAllEnded(lab, first);
    expectAllEnded(lab, second);
}

TEST(RecoveryListener, LeavingDuringATransferWhoseClientFellSilentEndsWithItsTimeOut) {
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x74));
    Timings timings = test::recoveryTimings();
    timings.tftpTimeout = 400ms;
    lab.start(timings);
    TftpTestClient client(lab, device);
    client.request(kTftpRrq, "kernel.img");
    ASSERT_TRUE(client.next().has_value());

    // The cancelled wait counts as one time-out: the block goes out again, and the transfer
    // gives up when the time-out armed for that wait expires.
    const auto took = leaveRecovery(lab);
    EXPECT_LT(took, 5000ms);
    expectAllEnded(lab, device);
    const auto resent = client.next(100ms);
    ASSERT_TRUE(resent.has_value());
    EXPECT_EQ(resent->number, 1);
}

TEST(RecoveryListener, LeavingDuringATransferLetsAnAcknowledgingDeviceFinish) {
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x75));
    lab.start();
    TftpTestClient client(lab, device);

    std::promise<void> firstBlock;
    auto leaving = std::async(std::launch::async, [&] {
        firstBlock.get_future().wait();
        return leaveRecovery(lab);
    });
    bool told = false;
    const auto fetched = client.fetch("kernel.img", [&](std::uint16_t, int) {
        if (!told) {
            told = true;
            firstBlock.set_value();
        }
        return false;
    });
    leaving.get();

    EXPECT_TRUE(fetched.complete);
    EXPECT_EQ(fetched.content.size(), kBootImageSizes[0]);
    expectAllEnded(lab, device);
}

TEST(RecoveryListener, LeavingDuringTheRestartWaitWaitsForItAndItsPingsThenResetsTheBanner) {
    test::FakePinger pinger;
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x76));
    Timings timings = test::recoveryTimings();
    timings.initrdSettle = 600ms;
    lab.start(timings, &pinger);
    TftpTestClient client(lab, device);
    ASSERT_TRUE(client.fetch("initrds.img").complete);
    ASSERT_TRUE(lab.waitForLog("Please wait for the system to restart")) << lab.log();

    leaveRecovery(lab);

    expectAllEnded(lab, device);
    // Every ping attempt ran before the listener ended.
    int recoveryPings = 0;
    for (const auto& call : pinger.calls()) {
        recoveryPings += call.host == kRecoveryAddress && call.dataSize == kRecoveryTestDataSize;
    }
    EXPECT_EQ(recoveryPings, kRecoveryTestRounds);
    // Auto mode starts afresh: no device and the instructions again.
    EXPECT_EQ(lab.console().serverIP(), "");
    EXPECT_EQ(lab.console().bannerState(), BannerState::Instructions);
}

TEST(RecoveryListener, ClosingDuringTheRestartWaitCutsItAndItsPingsShort) {
    test::FakePinger pinger;
    RecoveryLab lab;
    const auto& device = lab.addDevice(test::deviceMac(0x77));
    Timings timings = test::recoveryTimings();
    timings.initrdSettle = 20s;
    lab.start(timings, &pinger);
    TftpTestClient client(lab, device);
    ASSERT_TRUE(client.fetch("initrds.img").complete);
    ASSERT_TRUE(lab.waitForLog("Please wait for the system to restart")) << lab.log();

    const auto begin = Clock::now();
    lab.onUi([](OperatorConsole& console) { console.Shutdown(); });
    EXPECT_LT(Clock::now() - begin, 5s) << "the close waited for the device's restart";
    EXPECT_EQ(lab.console().recoveryThreads(), 0);
    for (const auto& call : pinger.calls()) {
        EXPECT_FALSE(call.host == kRecoveryAddress && call.dataSize == kRecoveryTestDataSize)
            << "no echo goes out once the program closes";
    }
}

}  // namespace
}  // namespace vantor
