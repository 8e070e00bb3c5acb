#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "base/UniqueFd.h"

namespace vantor {

// The stop request of an upgrade run: a flag that the console's thread sets and the worker
// reads, which also wakes the worker's pauses and, through a descriptor that becomes
// readable, its socket waits.
class StopSignal {
  public:
    StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    void request();
    // Before a run starts (not while one is in progress).
    void clear();
    bool requested() const { return requested_.load(); }

    // Waits for the duration or until a stop is requested; true when the time ran out.
    bool sleepFor(std::chrono::milliseconds duration);

    // Readable while a stop is requested; -1 when none could be made (waits then end only by
    // their time-out).
    int wakeFd() const { return wake_.get(); }

  private:
    std::atomic<bool> requested_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
    UniqueFd wake_;
};

}  // namespace vantor
