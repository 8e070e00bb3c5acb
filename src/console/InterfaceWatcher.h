#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "console/HostInterfaceTable.h"
#include "console/RunState.h"
#include "console/WatchTicker.h"
#include "ports/ReportPort.h"

namespace vantor {

// Watches the PC's interface addresses while Auto or Recovery is current and restarts that
// mode's listeners when they change: a cable plugged in, an address taken or renewed by DHCP.
// Restarts wait while a recovery listener serves a device, and never overlap a mode switch:
// both hold the switch lock.
class InterfaceWatcher {
  public:
    // Stops the watched mode's listeners and starts them again; called with the switch lock
    // held, on the watcher's thread.
    using Restart = std::function<void(ConsoleMode watched)>;

    InterfaceWatcher(RunState& run, HostInterfaceTable& table, ReportPort& report,
                     WatchTicker& ticker, std::mutex& switchLock, Restart restart);
    ~InterfaceWatcher();
    InterfaceWatcher(const InterfaceWatcher&) = delete;
    InterfaceWatcher& operator=(const InterfaceWatcher&) = delete;

    // Watches the current mode; one left from an earlier visit, still in its wait, is ended
    // first.
    void start();
    // Ends the watcher; on the user-interface thread the wait keeps serving the listeners it
    // may be restarting.
    void stop();
    bool running() const { return active_.load(); }

  private:
    void watch(const std::stop_token& stop, ConsoleMode watched);
    // Takes the switch lock, giving up when the stop comes first.
    bool lockSwitch(std::unique_lock<std::mutex>& guard, const std::stop_token& stop);

    RunState& run_;
    HostInterfaceTable& table_;
    ReportPort& report_;
    WatchTicker& ticker_;
    std::mutex& switchLock_;
    const Restart restart_;

    std::jthread thread_;
    std::atomic<bool> active_{false};
    std::mutex retryMutex_;
    std::condition_variable_any retryWake_;
};

}  // namespace vantor
