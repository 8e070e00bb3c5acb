#include "support/ConsoleHarness.h"

#include <chrono>

#include "support/Eventually.h"

namespace vantor::test {

std::unique_ptr<InterfaceWorker> CountingWorkerFactory::makeListener(WorkerPorts& ports,
                                                                     std::uint32_t nic,
                                                                     std::uint16_t port) {
    ++listenersMade;
    lastPort = port;
    return idle_.makeListener(ports, nic, port);
}

std::unique_ptr<InterfaceWorker> CountingWorkerFactory::makeRecoveryListener(WorkerPorts& ports,
                                                                             std::uint32_t nic) {
    ++recoveryListenersMade;
    return idle_.makeRecoveryListener(ports, nic);
}

std::unique_ptr<FirmwareUpgrader> CountingWorkerFactory::makeUpgradeDriver(WorkerPorts& ports) {
    ++upgradeDriversMade;
    return idle_.makeUpgradeDriver(ports);
}

Timings fastTimings() {
    using std::chrono::milliseconds;
    Timings t;
    t.workerPoll = milliseconds(2);
    t.interfaceWatch = milliseconds(20);
    t.bannerBlink = milliseconds(10);
    t.runnerPoll = milliseconds(2);
    t.pingTimeout = milliseconds(50);
    t.notifyPause = milliseconds(5);
    t.recoveryPoll = milliseconds(2);
    t.tftpTimeout = milliseconds(200);
    t.initrdSettle = milliseconds(20);
    t.rebootCheckPause = milliseconds(20);
    t.microcodePause = milliseconds(20);
    t.codeUpdateReceive = milliseconds(5);
    return t;
}

ConsoleHarness::ConsoleHarness(
    std::vector<std::string> addresses, Timings timings,
    std::function<std::unique_ptr<HostTools>(std::mutex& routeLock)> makeTools,
    WatchTicker* watchTicker)
    : interfaces(std::move(addresses)) {
    ConsoleServices services{interfaces, workers, timings};
    services.pinger = &pinger;
    services.makeTools = std::move(makeTools);
    services.reportPrivileges = false;
    services.watchTicker = watchTicker;
    console = std::make_unique<OperatorConsole>(std::move(services));
    console->attachView(&view);
}

bool ConsoleHarness::tickWatcher(SteppedWatchTicker& ticker) {
    const int waits = ticker.waits();
    ticker.grant();
    return pumpUntil([&] { return ticker.waits() > waits; });
}

ConsoleHarness::~ConsoleHarness() {
    console->Shutdown();
    console->attachView(nullptr);
}

bool ConsoleHarness::pumpUntil(const std::function<bool()>& done) {
    return eventually(
        done, std::chrono::seconds(2), std::chrono::milliseconds(2),
        [this](std::chrono::milliseconds wait) { console->dispatcher().drainAndWait(wait); });
}

}  // namespace vantor::test
