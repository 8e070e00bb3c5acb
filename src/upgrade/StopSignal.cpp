#include "upgrade/StopSignal.h"

#include <sys/eventfd.h>

#include <cstdint>

namespace vantor {

StopSignal::StopSignal() : wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void StopSignal::request() {
    {
        std::lock_guard lock(mutex_);
        requested_ = true;
    }
    changed_.notify_all();
    if (wake_.valid()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wake_.get(), &one, sizeof one);
    }
}

void StopSignal::clear() {
    std::lock_guard lock(mutex_);
    requested_ = false;
    if (wake_.valid()) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = ::read(wake_.get(), &count, sizeof count);
    }
}

bool StopSignal::sleepFor(std::chrono::milliseconds duration) {
    std::unique_lock lock(mutex_);
    return !changed_.wait_for(lock, duration, [&] { return requested_.load(); });
}

}  // namespace vantor
