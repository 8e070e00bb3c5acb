// Stopping a listener, on the loopback interface of the suite's own namespace.
#include "assign/MListener.h"

#include <gtest/gtest.h>

#include <future>

#include "base/Ipv4.h"
#include "support/ConsoleHarness.h"

namespace vantor {
namespace {

using namespace std::chrono_literals;

class MListenerStop : public ::testing::Test {
  protected:
    MListenerStop() { h.console->Initialize(); }

    // The thread body on a thread of its own; ready once it has returned.
    std::future<void> runInBackground() {
        return std::async(std::launch::async, [this] { listener.run(); });
    }

    // Waits while serving the console, as its user-interface thread would.
    bool ended(std::future<void>& ran) {
        return h.pumpUntil([&] { return ran.wait_for(0s) == std::future_status::ready; });
    }

    test::ConsoleHarness h{{"127.0.0.1"}};
    // Port 0: the system chooses, so that nothing else on the host is in the way.
    MListener listener{h.console->workerPorts(), *Ipv4::parse("127.0.0.1"), 0};
};

TEST_F(MListenerStop, AStopBeforeTheThreadRunsEndsItAtOnce) {
    ASSERT_EQ(h.console->mode(), ConsoleMode::Auto);
    listener.stop();
    std::future<void> ran = runInBackground();
    ASSERT_TRUE(ended(ran));
    EXPECT_TRUE(listener.finished());
}

// The console changes its mode before it stops listeners; a stop alone must still do.
TEST_F(MListenerStop, AStopEndsABlockedReceiveEvenInAuto) {
    std::future<void> ran = runInBackground();
    EXPECT_EQ(ran.wait_for(50ms), std::future_status::timeout) << "it did not listen";
    listener.stop();
    ASSERT_TRUE(ended(ran));
    EXPECT_TRUE(listener.finished());
    listener.stop();  // after the end: nothing to do
}

}  // namespace
}  // namespace vantor
