#pragma once

#include <condition_variable>
#include <mutex>

#include "console/WatchTicker.h"

namespace vantor::test {

// The interface watcher's clock in a test's hand: each grant lets the watcher make one more
// look at the interfaces, and the watcher's waits are counted so that a test knows when the
// look is done.
class SteppedWatchTicker final : public WatchTicker {
  public:
    bool wait(const std::stop_token& stop) override {
        std::unique_lock lock(mutex_);
        ++waits_;
        changed_.notify_all();
        changed_.wait(lock, stop, [&] { return granted_ > 0; });
        if (stop.stop_requested()) {
            return false;
        }
        --granted_;
        return true;
    }
    void grant() {
        std::lock_guard lock(mutex_);
        ++granted_;
        changed_.notify_all();
    }
    int waits() const {
        std::lock_guard lock(mutex_);
        return waits_;
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable_any changed_;
    int waits_ = 0;
    int granted_ = 0;
};

}  // namespace vantor::test
