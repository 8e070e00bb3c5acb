#pragma once

#include <atomic>

#include "base/Timings.h"
#include "console/UiDispatcher.h"
#include "ports/RunGate.h"

namespace vantor {

// The console's run gate: the current mode, whether the program closes, and whether the
// interface watcher may restart the recovery listeners.
class RunState final : public RunGate {
  public:
    RunState(UiDispatcher& dispatcher, const Timings& timings);

    ConsoleMode mode() const override { return mode_.load(); }
    bool closing() const override { return shutDown_.load() || closeRequested_.load(); }
    bool winsockReady() const override { return winsockReady_.load(); }
    bool restartAllowed() const override { return restartAllowed_.load(); }
    void allowRestart(bool allowed) override { restartAllowed_ = allowed; }
    void waitUntil(const std::function<bool()>& done) override;
    void workerEnded() override { dispatcher_.notify(); }
    const Timings& timings() const { return timings_; }

    // The coordinator's side.
    void setMode(ConsoleMode mode) { mode_ = mode; }
    const std::atomic<ConsoleMode>& modeFlag() const { return mode_; }
    // POSIX sockets need no start-up; the flag stays so that its consequences remain testable.
    void setWinsockReady(bool ready) { winsockReady_ = ready; }
    // Asked from any thread while the user-interface thread is busy.
    void requestClose() { closeRequested_ = true; }
    // Returns false when the shutdown had begun already.
    bool beginShutdown() { return !shutDown_.exchange(true); }
    bool shutDown() const { return shutDown_.load(); }

  private:
    UiDispatcher& dispatcher_;
    const Timings& timings_;
    std::atomic<ConsoleMode> mode_{ConsoleMode::Switching};
    std::atomic<bool> winsockReady_{false};
    std::atomic<bool> restartAllowed_{false};
    std::atomic<bool> shutDown_{false};
    std::atomic<bool> closeRequested_{false};
};

}  // namespace vantor
