// The interface watcher's restarts racing the operator's mode switches: addresses and links of
// the PC come and go while the radios are clicked, so that restarts of Auto and Recovery begin
// while a switch holds the console, and switches arrive while a restart runs.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "console/OperatorConsole.h"
#include "recovery/RecoveryLab.h"
#include "support/ProcessHoldings.h"
#include "support/SteppedWatchTicker.h"

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
    test::SteppedWatchTicker ticker;
    lab.watchTicker = &ticker;
    const auto& first = lab.addDevice(test::deviceMac(0x31));
    const auto& second = lab.addDevice(test::deviceMac(0x32));
    Timings timings = test::recoveryTimings();
    timings.tftpTimeout = 30ms;
    lab.start(timings);
    lab.settleInManual();
    ASSERT_TRUE(test::eventually([&] { return serving(lab.console(), ConsoleMode::Manual, 2); },
                                 RecoveryLab::kPatience));
    const auto before = test::ProcessHoldings::now();

    // A second address on one link comes and goes, the other link goes down and up, and after
    // each change the watcher may look once more: its looks and restarts run while the radios
    // are clicked, not on a clock, so the race is the same on an idle or a loaded machine.
    constexpr int kMostFlaps = 4000;
    std::atomic<int> flaps{0};
    std::jthread flapper([&](const std::stop_token& stop) {
        for (int n = 0; n < kMostFlaps && !stop.stop_requested(); ++n) {
            lab.pc.ip(
                {"address", n % 2 == 0 ? "add" : "del", "10.79.0.1/24", "dev", first.pcInterface});
            if (n % 6 == 0) {
                lab.pc.ip({"link", "set", second.pcInterface, n % 12 == 0 ? "down" : "up"});
            }
            ticker.grant();
            ++flaps;
        }
    });
    constexpr std::array<ControlId, 4> kRadios = {ControlId::RadioAuto, ControlId::RadioRecovery,
                                                  ControlId::RadioFirmwareFile,
                                                  ControlId::RadioManual};
    constexpr int kSwitches = 500;
    const auto started = Clock::now();
    for (int i = 0; i < kSwitches; ++i) {
        lab.click(kRadios[(i + i / 4 + i / 7) % kRadios.size()]);
    }
    flapper.request_stop();
    flapper.join();

    // Both links as at the start: each mode that watches ends up with one listener per link.
    // The entries read the interfaces afresh; ticks while waiting let a watcher look again.
    lab.pc.ip({"address", "flush", "to", "10.79.0.0/24"});
    lab.pc.ip({"link", "set", second.pcInterface, "up"});
    const auto servingAfterTicks = [&](ConsoleMode mode) {
        return test::eventually([&] { return serving(lab.console(), mode, 2); },
                                RecoveryLab::kPatience, 5ms,
                                [&](std::chrono::milliseconds poll) {
                                    ticker.grant();
                                    std::this_thread::sleep_for(poll);
                                });
    };
    lab.click(ControlId::RadioAuto);
    lab.click(ControlId::RadioManual);
    lab.click(ControlId::RadioRecovery);
    EXPECT_TRUE(servingAfterTicks(ConsoleMode::Recovery)) << lab.log();
    EXPECT_TRUE(lab.serving(first) && lab.serving(second));
    lab.click(ControlId::RadioAuto);
    EXPECT_TRUE(servingAfterTicks(ConsoleMode::Auto)) << lab.log();
    lab.click(ControlId::RadioManual);
    EXPECT_TRUE(servingAfterTicks(ConsoleMode::Manual));
    EXPECT_FALSE(lab.console().watcherRunning());

    test::ProcessHoldings after;
    EXPECT_TRUE(test::settlesBackTo(before, after)) << before.text() << " -> " << after.text();
    std::printf("watcher race: %d clicks under %d flaps in %.1f s; %s -> %s\n", kSwitches,
                flaps.load(), std::chrono::duration<double>(Clock::now() - started).count(),
                before.text().c_str(), after.text().c_str());
}

}  // namespace
}  // namespace vantor
