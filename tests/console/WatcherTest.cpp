#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "base/Ipv4.h"
#include "support/ConsoleHarness.h"

namespace vantor {
namespace {

using namespace std::chrono_literals;

bool hasRow(const std::vector<std::string>& rows, const std::string& row) {
    return std::find(rows.begin(), rows.end(), row) != rows.end();
}

TEST(InterfaceWatcher, AnAddedAddressRestartsTheListenersWithinAboutOnePeriod) {
    test::ConsoleHarness h;
    h.console->Initialize();
    ASSERT_EQ(h.console->listenerCount(), 1u);
    h.interfaces.set({"192.168.1.10", "10.9.8.7"});
    ASSERT_TRUE(h.pumpUntil([&] { return h.console->listenerCount() == 2; }));
    ASSERT_TRUE(h.pumpUntil([&] { return h.console->listenerThreads() == 2; }));
    EXPECT_EQ(h.workers.listenersMade, 3);
    const auto rows = h.view.rows();
    EXPECT_EQ(rows.front(), "> 2 NICs found on this machine (pc1):\r\n");
    EXPECT_TRUE(hasRow(rows, "    - NIC2: 10.9.8.7\r\n"));
    EXPECT_EQ(h.console->mode(), ConsoleMode::Auto);
}

// The addresses are compared, not their number: listeners left on an address the PC no
// longer has would send the device to it.
TEST(InterfaceWatcher, AChangedAddressRestartsTheListenersOfAutoAndRecovery) {
    struct Case {
        std::vector<std::string> before;
        std::vector<std::string> after;
        bool restarts;
    };
    const std::vector<Case> cases{
        {{"192.168.1.10"}, {"192.168.1.10"}, false},
        {{"192.168.1.10"}, {"192.168.1.11"}, true},  // one digit, as a DHCP renewal may
        {{"192.168.1.10"}, {"10.0.0.5"}, true},      // a cable moved to another network
        {{"192.168.1.10", "10.0.0.5"}, {"10.0.0.5", "192.168.1.10"}, true},  // NICs renumbered
    };
    for (const Case& c : cases) {
        for (const ConsoleMode mode : {ConsoleMode::Auto, ConsoleMode::Recovery}) {
            SCOPED_TRACE(c.after.front() + (mode == ConsoleMode::Auto ? " auto" : " recovery"));
            test::SteppedWatchTicker ticker;
            test::ConsoleHarness h(c.before, test::fastTimings(), {}, &ticker);
            h.console->Initialize();
            if (mode == ConsoleMode::Recovery) {
                h.click(ControlId::RadioRecovery);
            }
            const auto made = [&] {
                return mode == ConsoleMode::Auto ? h.workers.listenersMade.load()
                                                 : h.workers.recoveryListenersMade.load();
            };
            const int first = made();
            h.interfaces.set(c.after);
            // One look reads the interfaces, the next acts on them.
            for (int look = 0; look < 3; ++look) {
                ASSERT_TRUE(h.tickWatcher(ticker));
            }
            EXPECT_EQ(made(), c.restarts ? first + static_cast<int>(c.after.size()) : first);
            EXPECT_EQ(hasRow(h.view.rows(), "    - NIC1: " + c.after.front() + "\r\n"),
                      c.restarts || c.before == c.after);
        }
    }
}

TEST(InterfaceWatcher, RecoveryWaitsUntilRestartIsAllowed) {
    test::SteppedWatchTicker ticker;
    test::ConsoleHarness h({"192.168.1.10"}, test::fastTimings(), {}, &ticker);
    h.console->Initialize();
    h.click(ControlId::RadioRecovery);
    h.console->gate().allowRestart(false);  // a device is being served
    h.interfaces.set({"192.168.1.10", "10.9.8.7"});
    for (int look = 0; look < 6; ++look) {
        ASSERT_TRUE(h.tickWatcher(ticker));
    }
    EXPECT_EQ(h.workers.recoveryListenersMade, 1);
    h.console->gate().allowRestart(true);
    // One look reads the interfaces again, the next restarts.
    for (int look = 0; look < 2; ++look) {
        ASSERT_TRUE(h.tickWatcher(ticker));
    }
    EXPECT_TRUE(h.pumpUntil([&] {
        const auto rows = h.view.rows();
        return rows.size() == 4 && rows.back() == "> Listening.....\r\n";
    }));
    EXPECT_EQ(h.workers.recoveryListenersMade, 3);
}

TEST(InterfaceWatcher, LooksOnlyOnItsClock) {
    test::SteppedWatchTicker ticker;
    test::ConsoleHarness h({"192.168.1.10"}, test::fastTimings(), {}, &ticker);
    h.console->Initialize();
    ASSERT_TRUE(h.pumpUntil([&] { return ticker.waits() == 1; }));
    h.interfaces.set({"192.168.1.10", "10.9.8.7"});
    h.console->dispatcher().drainAndWait(20ms);
    EXPECT_EQ(h.workers.listenersMade, 1) << "a look before its tick";
    // The look after the tick reads two addresses and restarts both listeners before its
    // next wait.
    ASSERT_TRUE(h.tickWatcher(ticker));
    EXPECT_EQ(h.workers.listenersMade, 3);
    EXPECT_EQ(h.console->listenerCount(), 2u);
}

TEST(InterfaceWatcher, LeavingAndReenteringWithinTheSleepKeepsOneWatcher) {
    Timings slow = test::fastTimings();
    slow.interfaceWatch = 300ms;
    test::ConsoleHarness h({"192.168.1.10"}, slow);
    h.console->Initialize();
    for (int i = 0; i < 5; ++i) {
        h.click(ControlId::RadioManual);
        h.click(ControlId::RadioAuto);
    }
    // One watcher restarts once when an address appears, not one restart per visit.
    h.interfaces.set({"192.168.1.10", "10.9.8.7"});
    ASSERT_TRUE(h.pumpUntil([&] { return h.console->listenerCount() == 2; }));
    const int made = h.workers.listenersMade;
    const auto until = std::chrono::steady_clock::now() + 700ms;
    h.pumpUntil([&] { return std::chrono::steady_clock::now() > until; });
    EXPECT_EQ(h.workers.listenersMade, made);
    EXPECT_EQ(made, 1 + 5 + 2);
}

// A listener that, like a real one handling a device, holds its log group while it writes
// fields, the notice line and log rows, over and over until it is stopped.
class BusyListener final : public InterfaceWorker {
  public:
    explicit BusyListener(WorkerPorts& ports) : ports_(ports) {}
    void run() override {
        int round = 0;
        while (!stop_ && ports_.gate.mode() == ConsoleMode::Auto) {
            const LogGroup log = ports_.report.logGroup();
            ports_.report.setNoticeLine("Ignoring a packet from 00-11-22-33-44-55");
            ports_.report.showDeviceMac(
                {0, 0x11, 0x22, 0x33, 0x44, static_cast<std::uint8_t>(round)});
            ports_.report.appendStatus(1, "> busy\r\n");
            ports_.report.setBannerState(BannerState::DeviceReady);
            ++round;
        }
    }
    void stop() override { stop_ = true; }

  private:
    WorkerPorts ports_;
    std::atomic<bool> stop_{false};
};

class BusyFactory final : public IdleWorkerFactory {
  public:
    std::unique_ptr<InterfaceWorker> makeListener(WorkerPorts& ports, std::uint32_t,
                                                  std::uint16_t) override {
        return std::make_unique<BusyListener>(ports);
    }
};

TEST(WorkerHandover, ModeSwitchesNeverDeadlockWithWorkersChangingControls) {
    test::FakeInterfaceSource interfaces({"192.168.1.10", "10.1.2.3"});
    BusyFactory workers;
    test::RecordingView view;
    ConsoleServices services{interfaces, workers, test::fastTimings()};
    services.reportPrivileges = false;  // never this process's own
    OperatorConsole console(std::move(services));
    console.attachView(&view);
    console.Initialize();
    for (int i = 0; i < 50; ++i) {
        console.OnRadioClicked(i % 2 == 0 ? ControlId::RadioManual : ControlId::RadioRecovery);
        EXPECT_EQ(console.listenerThreads(), 0);
        console.OnRadioClicked(ControlId::RadioAuto);
        ASSERT_EQ(console.mode(), ConsoleMode::Auto);
    }
    // The watcher's restart path, too, while the workers are busy.
    interfaces.set({"192.168.1.10"});
    const auto until = std::chrono::steady_clock::now() + 10 * console.timings().interfaceWatch;
    while (std::chrono::steady_clock::now() < until) {
        console.dispatcher().drainAndWait(2ms);
    }
    console.Shutdown();
    EXPECT_EQ(console.listenerThreads(), 0);
    EXPECT_EQ(console.listenerCount(), 0u);
    console.attachView(nullptr);
}

}  // namespace
}  // namespace vantor
