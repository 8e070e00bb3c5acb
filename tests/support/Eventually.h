#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace vantor::test {

// Waits until condition() holds, asking again every `poll`; false when `timeout` has passed
// without it. The condition is asked once more after the last pause, so a wait ends with what
// held at its end, and at least once however short the time-out. Every wait of the tests for
// something another thread, a process or the kernel brings about goes through here, so that
// none can hang a test.
//
// `pause` spends the time between two questions; the default sleeps. A test that stands in for
// the console's user-interface thread serves the console's queue there instead, or the thing
// it waits for would never come.
inline bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
                       std::chrono::milliseconds poll = std::chrono::milliseconds(5),
                       const std::function<void(std::chrono::milliseconds)>& pause = {}) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        if (pause) {
            pause(poll);
        } else {
            std::this_thread::sleep_for(poll);
        }
    }
    return true;
}

}  // namespace vantor::test
