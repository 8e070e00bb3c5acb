#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace vantor::test {

// What the test process holds: its threads and its open descriptors, for checking that
// workers leave nothing behind.
struct ProcessHoldings {
    std::size_t threads = 0;
    std::size_t descriptors = 0;

    static ProcessHoldings now();
    bool operator==(const ProcessHoldings&) const = default;
    std::string text() const;  // "3 threads, 12 descriptors"
};

// Waits until the process holds what it held before (workers' threads are joined and their
// sockets closed a moment after their counters drop); false when the time is up, with what it
// holds then in `after`.
bool settlesBackTo(const ProcessHoldings& before, ProcessHoldings& after,
                   std::chrono::milliseconds limit = std::chrono::seconds(15));

}  // namespace vantor::test
