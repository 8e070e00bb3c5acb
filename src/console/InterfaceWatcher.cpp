#include "console/InterfaceWatcher.h"

namespace vantor {

namespace {

// How often a restart looks again for the switch lock, as a share of the worker poll.
constexpr int kSwitchLockRetriesPerPoll = 10;

}  // namespace

InterfaceWatcher::InterfaceWatcher(RunState& run, HostInterfaceTable& table, ReportPort& report,
                                   WatchTicker& ticker, std::mutex& switchLock, Restart restart)
    : run_(run),
      table_(table),
      report_(report),
      ticker_(ticker),
      switchLock_(switchLock),
      restart_(std::move(restart)) {}

InterfaceWatcher::~InterfaceWatcher() {
    stop();
}

void InterfaceWatcher::start() {
    stop();
    const ConsoleMode watched = run_.mode();
    active_ = true;
    thread_ = std::jthread([this, watched](const std::stop_token& stop) {
        watch(stop, watched);
        active_ = false;
        run_.workerEnded();
    });
}

void InterfaceWatcher::stop() {
    if (!thread_.joinable()) {
        return;
    }
    thread_.request_stop();
    {
        std::lock_guard lock(retryMutex_);
        retryWake_.notify_all();
    }
    // The watcher may be restarting listeners that wait for this thread: keep serving them.
    run_.waitUntil([&] { return !active_.load(); });
    thread_.join();
}

bool InterfaceWatcher::lockSwitch(std::unique_lock<std::mutex>& guard,
                                  const std::stop_token& stop) {
    // A mode switch that holds the lock may be waiting for this thread to end.
    while (!guard.try_lock()) {
        std::unique_lock lock(retryMutex_);
        if (retryWake_.wait_for(lock, stop, run_.timings().workerPoll / kSwitchLockRetriesPerPoll,
                                [&] { return stop.stop_requested(); })) {
            return false;
        }
    }
    return true;
}

void InterfaceWatcher::watch(const std::stop_token& stop, ConsoleMode watched) {
    if (watched != ConsoleMode::Auto && watched != ConsoleMode::Recovery) {
        return;
    }
    const int tag = tagOf(watched);
    // The addresses themselves, not their number: after a DHCP renewal or a cable moved to
    // another network the listeners would otherwise go on sending the device to an address
    // this PC no longer has.
    std::vector<std::string> known = table_.addresses();
    while (run_.mode() == watched && !stop.stop_requested()) {
        if (watched == ConsoleMode::Recovery && !run_.restartAllowed()) {
            // A device is being served; its addresses are looked at once it is done.
            if (!ticker_.wait(stop)) {
                return;
            }
            continue;
        }
        if (known != table_.addresses()) {
            std::unique_lock guard(switchLock_, std::defer_lock);
            if (!lockSwitch(guard, stop)) {
                return;
            }
            if (run_.mode() != watched || stop.stop_requested()) {
                return;
            }
            report_.appendStatus(tag, "\r\n");
            report_.appendStatus(tag, "> Network connections changed\r\n");
            restart_(watched);
            // The addresses the listeners were started for: the start reads the interfaces
            // again, and they may have changed once more since this loop looked.
            known = table_.addresses();
        }
        if (!ticker_.wait(stop)) {
            return;
        }
        table_.refresh();
    }
}

}  // namespace vantor
