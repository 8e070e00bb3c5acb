#pragma once

#include <condition_variable>
#include <mutex>
#include <stop_token>

#include "base/Timings.h"

namespace vantor {

// The interface watcher's clock: one wait per look at the interfaces. Injected so that tests
// tick the watcher instead of sleeping through its period.
class WatchTicker {
  public:
    virtual ~WatchTicker() = default;
    // Waits for the next look; false when the stop was requested first.
    virtual bool wait(const std::stop_token& stop) = 0;
};

// One look every period of the steady clock.
class PeriodicWatchTicker final : public WatchTicker {
  public:
    explicit PeriodicWatchTicker(Millis period) : period_(period) {}
    bool wait(const std::stop_token& stop) override {
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, stop, period_, [] { return false; });
        return !stop.stop_requested();
    }

  private:
    const Millis period_;
    std::mutex mutex_;
    std::condition_variable_any wake_;
};

}  // namespace vantor
