#include "console/ProgressThinning.h"

namespace vantor {

bool ProgressThinning::pass(const TransferProgress& progress, Clock::time_point now) {
    auto key = std::make_pair(progress.device, progress.name);
    if (progress.complete()) {
        lastPassed_.erase(key);
        return true;
    }
    const auto found = lastPassed_.find(key);
    if (found == lastPassed_.end()) {
        lastPassed_.emplace(std::move(key), now);
        return true;
    }
    if (now - found->second < interval_) {
        return false;
    }
    found->second = now;
    return true;
}

}  // namespace vantor
