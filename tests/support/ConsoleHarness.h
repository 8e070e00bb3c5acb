#pragma once

#include <atomic>
#include <memory>

#include "console/IdleWorkerFactory.h"
#include "console/OperatorConsole.h"
#include "support/FakeInterfaceSource.h"
#include "support/FakePinger.h"
#include "support/RecordingView.h"
#include "support/SteppedWatchTicker.h"

namespace vantor::test {

// Counts the workers the console asks for and hands out idle ones.
class CountingWorkerFactory final : public WorkerFactory {
  public:
    std::unique_ptr<InterfaceWorker> makeListener(WorkerPorts& ports, std::uint32_t nic,
                                                  std::uint16_t port) override;
    std::unique_ptr<InterfaceWorker> makeRecoveryListener(WorkerPorts& ports,
                                                          std::uint32_t nic) override;
    std::unique_ptr<FirmwareUpgrader> makeUpgradeDriver(WorkerPorts& ports) override;
    bool bootImagesArePlaceholders() const override { return placeholderImages.load(); }

    std::atomic<bool> placeholderImages{false};
    std::atomic<int> listenersMade{0};
    std::atomic<int> recoveryListenersMade{0};
    std::atomic<int> upgradeDriversMade{0};
    std::atomic<int> lastPort{0};

  private:
    IdleWorkerFactory idle_;
};

// Timings that make the console's waits take milliseconds.
Timings fastTimings();

// A console with a fake host, counting workers and a recording view, driven from the test's
// thread as its user-interface thread.
struct ConsoleHarness {
    // makeTools: the console's ARP and route tools; none: the system's own.
    explicit ConsoleHarness(
        std::vector<std::string> addresses = {"192.168.1.10"}, Timings timings = fastTimings(),
        std::function<std::unique_ptr<HostTools>(std::mutex& routeLock)> makeTools = {},
        WatchTicker* watchTicker = nullptr);
    ~ConsoleHarness();

    // Clicks a mode radio the way the operator does.
    void click(ControlId radio) { console->OnRadioClicked(radio); }
    // Serves the console's queue until done() holds or about two seconds pass.
    bool pumpUntil(const std::function<bool()>& done);
    // Lets the watcher, made with `ticker`, look once more and waits until it has done so.
    bool tickWatcher(SteppedWatchTicker& ticker);

    FakeInterfaceSource interfaces;
    CountingWorkerFactory workers;
    FakePinger pinger;
    RecordingView view;
    std::unique_ptr<OperatorConsole> console;
};

}  // namespace vantor::test
