// The interface watcher's restarts racing the operator's mode switches: addresses and links of
// the PC come and go while the radios are clicked, so that restarts of Auto and Recovery begin
// while a switch holds the console, and switches arrive while a restart runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "console/OperatorConsole.h"
#include "recovery/RecoveryLab.h"
#include "support/ProcessHoldings.h"

namespace vantor {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::RecoveryLab;

// One listener per address for the mode that has them (Auto, Recovery), all running, and
// none of any other kind.
bool serving(OperatorConsole& console, ConsoleMode mode, int addresses) {
    const int listening = mode == ConsoleMode::Auto ? addresses : 0;
    const int recovering = mode == ConsoleMode::Recovery ? addresses : 0;
    return console.mode() == mode && console.interfaces().count() == addresses &&
           console.listenerCount() == static_cast<std::size_t>(listening) &&
           console.listenerThreads() == listening &&
           console.recoveryListenerCount() == static_cast<std::size_t>(recovering) &&
           console.recoveryThreads() == recovering && !console.upgradeActive();
}

TEST(WatcherRace, SwitchesWhileInterfacesFlapLeaveTheListenersOfTheLastCount) {
    RecoveryLab lab;
    const auto& first = lab.addDevice(test::deviceMac(0x31));
    const auto& second = lab.addDevice(test::deviceMac(0x32));
    Timings timings = test::recoveryTimings();
    timings.tftpTimeout = 30ms;
    lab.start(timings);
    lab.settleInManual();
    ASSERT_TRUE(test::eventually([&] { return serving(lab.console(), ConsoleMode::Manual, 2); },
                                 RecoveryLab::kPatience));
    const auto before = test::ProcessHoldings::now();

    // A second address on one link comes and goes, the other link goes down and up, at
    // uneven intervals around the watcher's period.
    std::atomic<int> flaps{0};
    std::jthread flapper([&](const std::stop_token& stop) {
        const auto deadline = Clock::now() + 60s;
        for (int n = 0; n < 4000 && !stop.stop_requested() && Clock::now() < deadline; ++n) {
            lab.pc.ip(
                {"address", n % 2 == 0 ? "add" : "del", "10.79.0.1/24", "dev", first.pcInterface});
            if (n % 6 == 0) {
                lab.pc.ip({"link", "set", second.pcInterface, n % 12 == 0 ? "down" : "up"});
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(3 + n % 25));
            ++flaps;
        }
    });
    constexpr std::array<ControlId, 4> kRadios = {ControlId::RadioAuto, ControlId::RadioRecovery,
                                                  ControlId::RadioFirmwareFile,
                                                  ControlId::RadioManual};
    constexpr int kSwitches = 500;
    int clicks = 0;
    auto slowest = Clock::duration::zero();
    const auto started = Clock::now();
    for (int i = 0; i < kSwitches && Clock::now() < started + 60s; ++i) {
        const ControlId radio = kRadios[(i + i / 4 + i / 7) % kRadios.size()];
        const auto begin = Clock::now();
        lab.onUi([radio](OperatorConsole& console) { console.OnRadioClicked(radio); });
        slowest = std::max(slowest, Clock::now() - begin);
        ++clicks;
        std::this_thread::sleep_for(std::chrono::milliseconds(i % 13));
    }
    flapper.request_stop();
    flapper.join();
    EXPECT_EQ(clicks, kSwitches) << "the switches ran out of time";

    // Both links as at the start: each mode that watches ends up with one listener per link.
    lab.pc.ip({"address", "flush", "to", "10.79.0.0/24"});
    lab.pc.ip({"link", "set", second.pcInterface, "up"});
    lab.onUi([](OperatorConsole& console) { console.OnRadioClicked(ControlId::RadioAuto); });
    lab.onUi([](OperatorConsole& console) { console.OnRadioClicked(ControlId::RadioManual); });
    lab.onUi([](OperatorConsole& console) { console.OnRadioClicked(ControlId::RadioRecovery); });
    EXPECT_TRUE(test::eventually([&] { return serving(lab.console(), ConsoleMode::Recovery, 2); },
                                 RecoveryLab::kPatience))
        << lab.log();
    EXPECT_TRUE(lab.serving(first) && lab.serving(second));
    lab.onUi([](OperatorConsole& console) { console.OnRadioClicked(ControlId::RadioAuto); });
    EXPECT_TRUE(test::eventually([&] { return serving(lab.console(), ConsoleMode::Auto, 2); },
                                 RecoveryLab::kPatience))
        << lab.log();
    lab.onUi([](OperatorConsole& console) { console.OnRadioClicked(ControlId::RadioManual); });
    EXPECT_TRUE(test::eventually(
        [&] {
            return serving(lab.console(), ConsoleMode::Manual, 2) &&
                   !lab.console().watcherRunning();
        },
        RecoveryLab::kPatience));

    test::ProcessHoldings after;
    EXPECT_TRUE(test::settlesBackTo(before, after)) << before.text() << " -> " << after.text();
    std::printf("watcher race: %d clicks under %d flaps in %.1f s, slowest %.0f ms; %s -> %s\n",
                clicks, flaps.load(), std::chrono::duration<double>(Clock::now() - started).count(),
                std::chrono::duration<double, std::milli>(slowest).count(), before.text().c_str(),
                after.text().c_str());
}

}  // namespace
}  // namespace vantor
