// The table of mode switches: which switches exist, and the order rules every row keeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "console/ModeController.h"

namespace vantor {
namespace {

using Step = ModeController::Step;
using Mode = ConsoleMode;

constexpr std::array kModes{Mode::Auto, Mode::Manual, Mode::Recovery, Mode::FirmwareFile};

// Recovery and firmware-file mode are reached from Auto and Manual only; Auto and Manual from
// every other mode.
bool switchExpected(Mode from, Mode to) {
    if (from == to) {
        return false;
    }
    if (to == Mode::Recovery || to == Mode::FirmwareFile) {
        return from == Mode::Auto || from == Mode::Manual;
    }
    return true;
}

bool isWorkerStep(Step step) {
    return step == Step::StopListening || step == Step::StartListening ||
           step == Step::StopRecovery || step == Step::StartRecovery || step == Step::StopUpgrade;
}

class ModeTransitions : public ::testing::TestWithParam<std::tuple<Mode, Mode>> {};

TEST_P(ModeTransitions, ExistExactlyWhereExpectedAndKeepTheOrderRules) {
    const auto [from, to] = GetParam();
    const auto row = ModeController::transition(from, to);
    ASSERT_EQ(row.has_value(), switchExpected(from, to));
    if (!row) {
        return;
    }
    const auto steps = row->steps;
    EXPECT_EQ(std::count(steps.begin(), steps.end(), Step::SetMode), 1);
    // The radios are off while workers stop and start, and on again as the last step.
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.back(), Step::EnableRadios);
    const auto disable = std::find(steps.begin(), steps.end(), Step::DisableRadios);
    ASSERT_NE(disable, steps.end());
    EXPECT_TRUE(std::none_of(steps.begin(), disable, isWorkerStep));
    // The workers of the mode left are stopped, and the mode is set before they are: a late
    // row of theirs is then dropped rather than shown in the new mode.
    const auto setMode = std::find(steps.begin(), steps.end(), Step::SetMode);
    const Step stop = from == Mode::Auto       ? Step::StopListening
                      : from == Mode::Recovery ? Step::StopRecovery
                      : from == Mode::Manual   ? Step::SetMode
                                               : Step::StopUpgrade;
    const auto stopped = std::find(steps.begin(), steps.end(), stop);
    ASSERT_NE(stopped, steps.end());
    EXPECT_LE(setMode - steps.begin(), stopped - steps.begin());
    // Auto and Recovery have their listeners and their watcher.
    if (to == Mode::Auto || to == Mode::Recovery) {
        const Step start = to == Mode::Auto ? Step::StartListening : Step::StartRecovery;
        const auto started = std::find(steps.begin(), steps.end(), start);
        const auto watched = std::find(steps.begin(), steps.end(), Step::StartWatcher);
        ASSERT_NE(started, steps.end());
        ASSERT_NE(watched, steps.end());
        EXPECT_LT(started - steps.begin(), watched - steps.begin());
    } else if (from == Mode::Auto || from == Mode::Recovery) {
        EXPECT_NE(std::find(steps.begin(), steps.end(), Step::StopWatcher), steps.end());
    }
}

INSTANTIATE_TEST_SUITE_P(EveryPair, ModeTransitions,
                         ::testing::Combine(::testing::ValuesIn(kModes),
                                            ::testing::ValuesIn(kModes)));

}  // namespace
}  // namespace vantor
