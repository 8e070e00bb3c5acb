#include "recovery/ClientRateLimit.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace vantor {
namespace {

using namespace std::chrono_literals;

class ClientRateLimitTest : public ::testing::Test {
  protected:
    // How many of `count` messages of device `n` (MAC 02-56-4E-00-hi-lo) at `at` are answered.
    int answered(unsigned n, int count, Millis at) {
        char mac[18];
        std::snprintf(mac, sizeof mac, "02-56-4E-00-%02X-%02X", (n >> 8) & 0xFF, n & 0xFF);
        int answers = 0;
        for (int i = 0; i < count; ++i) {
            answers += limit_.Admit(mac, start_ + at).answer ? 1 : 0;
        }
        return answers;
    }

    ClientRateLimit limit_{1000ms};
    ClientRateLimit::Clock::time_point start_ = ClientRateLimit::Clock::time_point{} + 1h;
};

// 8 messages of a MAC a window of 1000 ms, which ends 1000 ms after the first message in it.
TEST_F(ClientRateLimitTest, EightMessagesOfAMacAWindowAreAnsweredAndTheRestDropped) {
    EXPECT_EQ(answered(1, 8, 0ms), 8);
    EXPECT_EQ(limit_.Admit("02-56-4E-00-00-01", start_ + 999ms).droppedInWindow, 1u);
    EXPECT_EQ(limit_.Admit("02-56-4E-00-00-01", start_ + 999ms).droppedInWindow, 2u);
    EXPECT_EQ(answered(2, 9, 999ms), 8);  // one digit apart
    EXPECT_EQ(answered(1, 9, 1000ms), 8);
    EXPECT_EQ(answered(1, 1, 1999ms), 0);
    EXPECT_EQ(limit_.droppedTotal(), 2u + 1u + 1u + 1u);
}

// A new MAC is answered when 1024 are followed: the one seen least recently is forgotten.
TEST_F(ClientRateLimitTest, ANewMacIsAnsweredWhenTheTableOf1024IsFull) {
    for (unsigned n = 0; n < 1024; ++n) {
        ASSERT_EQ(answered(n, 8, 0ms), 8);
    }
    EXPECT_EQ(answered(0, 1, 1ms), 0);  // all 1024 followed; device 0 seen again
    EXPECT_EQ(answered(1024, 8, 2ms), 8);
    EXPECT_EQ(answered(1, 1, 3ms), 1);  // forgotten for device 1024
    EXPECT_EQ(answered(0, 1, 3ms), 0);
}

}  // namespace
}  // namespace vantor
