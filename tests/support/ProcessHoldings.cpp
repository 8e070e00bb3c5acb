#include "support/ProcessHoldings.h"

#include <filesystem>
#include <iterator>
#include <thread>

namespace vantor::test {

namespace {

std::size_t entriesIn(const char* folder) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                                  std::filesystem::directory_iterator()));
}

}  // namespace

ProcessHoldings ProcessHoldings::now() {
    return {entriesIn("/proc/self/task"), entriesIn("/proc/self/fd")};
}

std::string ProcessHoldings::text() const {
    return std::to_string(threads) + " threads, " + std::to_string(descriptors) + " descriptors";
}

bool settlesBackTo(const ProcessHoldings& before, ProcessHoldings& after,
                   std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        after = ProcessHoldings::now();
        if (after == before) {
            return true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace vantor::test
