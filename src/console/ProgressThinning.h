#pragma once

#include <chrono>
#include <map>
#include <string>
#include <utility>

#include "base/Timings.h"
#include "ports/TransferProgress.h"

namespace vantor {

// Thins a worker's progress reports out to what a view can show: per transfer (device and
// name) the first report, then at most one per `interval`, and always the last one (done
// equal to total, or total 0 for a transfer that ended early). A worker may report every
// acknowledged block, thousands a second; each one passed on costs the user-interface thread.
class ProgressThinning {
  public:
    using Clock = std::chrono::steady_clock;

    explicit ProgressThinning(Millis interval) : interval_(interval) {}

    // Whether this report goes on to the view. A last report forgets the transfer, so the
    // next one of the same name starts afresh.
    bool pass(const TransferProgress& progress, Clock::time_point now);

  private:
    Millis interval_;
    std::map<std::pair<std::string, std::string>, Clock::time_point> lastPassed_;
};

}  // namespace vantor
