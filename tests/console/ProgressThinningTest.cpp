#include "console/ProgressThinning.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace vantor {
namespace {

using namespace std::chrono_literals;
using Clock = ProgressThinning::Clock;

struct Report {
    Millis at;
    TransferProgress progress;
    bool passes;
};

struct ThinningCase {
    const char* what;
    std::vector<Report> reports;
};

class ProgressThinningCases : public ::testing::TestWithParam<ThinningCase> {};

TEST_P(ProgressThinningCases, PassFourASecondPerTransferAndAlwaysTheLast) {
    ProgressThinning thinning(250ms);
    const Clock::time_point start = Clock::time_point{} + 1h;
    int index = 0;
    for (const Report& report : GetParam().reports) {
        EXPECT_EQ(thinning.pass(report.progress, start + report.at), report.passes)
            << "report " << index;
        ++index;
    }
}

TransferProgress kernel(std::uint64_t done, std::uint64_t total = 1000) {
    return {"", "kernel.img", done, total};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProgressThinningCases,
    ::testing::Values(
        ThinningCase{"interval",
                     {{0ms, kernel(1), true},
                      {1ms, kernel(2), false},
                      {249ms, kernel(3), false},
                      {250ms, kernel(4), true},
                      {499ms, kernel(5), false},
                      {500ms, kernel(6), true}}},
        ThinningCase{"last",
                     {{0ms, kernel(1), true},
                      {1ms, kernel(1000), true},
                      // The last report forgets the transfer: the next one starts afresh.
                      {2ms, kernel(1), true}}},
        ThinningCase{"ended early",
                     {{0ms, kernel(1), true}, {1ms, kernel(5, 0), true}, {2ms, kernel(6), true}}},
        ThinningCase{"per transfer",
                     {{0ms, kernel(1), true},
                      {1ms, {"", "initrds.img", 1, 9}, true},
                      {2ms, {"10.0.0.2", "kernel.img", 1, 9}, true},
                      {3ms, {"10.0.0.3", "kernel.img", 1, 9}, true},
                      {4ms, {"10.0.0.2", "kernel.img", 2, 9}, false},
                      {5ms, kernel(2), false}}}),
    [](const auto& testCase) {
        std::string name = testCase.param.what;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

}  // namespace
}  // namespace vantor
