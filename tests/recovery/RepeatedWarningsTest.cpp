#include "recovery/RepeatedWarnings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantor {
namespace {

using namespace std::chrono_literals;
using Clock = RepeatedWarnings::Clock;

const std::string kShort = "> Warning: Received dhcp package is too short.\r\n";
const std::string kTftp = "> Error: Received tftp package error.\r\n";

// What reaches the log: warnings written in full as "W:<line>", summaries as they are.
class RepeatedWarningsTest : public ::testing::Test {
  protected:
    void warn(const std::string& line, Millis at) {
        const auto rows = warnings_.Warn(line, start_ + at);
        if (rows.summary) {
            log_.push_back(*rows.summary);
        }
        if (rows.write) {
            log_.push_back("W:" + line);
        }
    }
    void flush() {
        if (const auto summary = warnings_.Flush()) {
            log_.push_back(*summary);
        }
    }

    RepeatedWarnings warnings_{1000ms};
    Clock::time_point start_ = Clock::time_point{} + 1h;
    std::vector<std::string> log_;
};

TEST_F(RepeatedWarningsTest, AFloodWithinTheSecondIsOneRowAndItsCountComesWithTheNextRow) {
    for (int i = 0; i < 5000; ++i) {
        warn(kShort, Millis{i / 5});  // 5,000 in 999 ms
    }
    EXPECT_EQ(log_, (std::vector<std::string>{"W:" + kShort}));
    // At the edge of the second the warning is written again, after the count so far.
    warn(kShort, 1000ms);
    warn(kShort, 1001ms);
    flush();
    flush();  // a count is reported once
    EXPECT_EQ(log_, (std::vector<std::string>{
                        "W:" + kShort,
                        "> Warning: Received dhcp package is too short. (repeated 4999 times)\r\n",
                        "W:" + kShort,
                        "> Warning: Received dhcp package is too short. (repeated 1 time)\r\n"}));
}

TEST_F(RepeatedWarningsTest, ADifferentWarningReportsTheCountAndIsWrittenAtOnce) {
    warn(kShort, 0ms);
    warn(kShort, 10ms);
    warn(kTftp, 20ms);
    warn(kShort, 30ms);  // not a repeat of the last one
    flush();             // nothing counted
    EXPECT_EQ(log_, (std::vector<std::string>{
                        "W:" + kShort,
                        "> Warning: Received dhcp package is too short. (repeated 1 time)\r\n",
                        "W:" + kTftp, "W:" + kShort}));
}

}  // namespace
}  // namespace vantor
