#include "support/ProcessHoldings.h"

#include <filesystem>
#include <iterator>
#include <thread>

#include "support/Eventually.h"

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
    return eventually(
        [&] {
            after = ProcessHoldings::now();
            return after == before;
        },
        limit);
}

}  // namespace vantor::test
