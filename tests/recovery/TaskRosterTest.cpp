#include "recovery/TaskRoster.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <latch>
#include <string>
#include <vector>

#include "net/CTimedSocket.h"

namespace vantor {
namespace {

using Admission = TaskRoster::Admission;

// Tasks that run until the test releases them, and record whether they were aborted.
class HeldTasks : public ::testing::Test {
  protected:
    ~HeldTasks() override {
        release_.count_down();
        roster_.JoinAll();
    }

    Admission start(const std::string& key, const std::string& owner = "", std::uint32_t peer = 0) {
        return roster_.Start(key, owner, peer, [this, key](TaskRoster::Control& control) {
            release_.wait();
            if (control.aborted()) {
                const std::lock_guard lock(mutex_);
                aborted_.push_back(key);
            }
        });
    }

    std::vector<std::string> aborted() {
        release_.count_down();
        roster_.JoinAll();
        const std::lock_guard lock(mutex_);
        return aborted_;
    }

    TaskRoster roster_{8, 4};
    std::latch release_{1};
    std::mutex mutex_;
    std::vector<std::string> aborted_;
};

// Eight at once, four of one address: keys "address:port", peers their addresses.
TEST_F(HeldTasks, EightRunAtOnceFourOfOneAddressAndAKeyRunsOnce) {
    const std::uint32_t first = inet_addr("10.0.0.2");
    const std::uint32_t second = inet_addr("10.0.0.3");
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(start("10.0.0.2:" + std::to_string(1000 + i), "", first), Admission::started);
    }
    EXPECT_EQ(start("10.0.0.2:2000", "", first), Admission::busy) << "a fifth of one address";
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(start("10.0.0.3:" + std::to_string(1000 + i), "", second), Admission::started);
    }
    EXPECT_EQ(start("10.0.0.4:1000", "", inet_addr("10.0.0.4")), Admission::busy)
        << "a ninth of any address";
    // The same transfer ID again is a repeated request, whatever the load.
    EXPECT_EQ(start("10.0.0.3:1003", "", second), Admission::running);
    EXPECT_EQ(roster_.running(), 8U);
}

TEST_F(HeldTasks, AnEndedTaskFreesItsPlaceAndItsKey) {
    TaskRoster roster(1, 1);
    std::latch ended(1);
    ASSERT_EQ(roster.Start("a:1", "", 0, [&](TaskRoster::Control&) { ended.count_down(); }),
              Admission::started);
    ended.wait();
    roster.JoinAll();
    EXPECT_EQ(roster.Start("a:1", "", 0, [](TaskRoster::Control&) {}), Admission::started);
    roster.JoinAll();
    EXPECT_EQ(roster.running(), 0U);
}

TEST_F(HeldTasks, ADeviceAbortsOnlyItsOwnTasksAndThoseOfItsAddress) {
    const std::uint32_t deviceAddress = inet_addr("10.0.0.2");
    start("owned", "02-56-4E-00-00-01", inet_addr("192.168.0.100"));
    // A MAC that differs in its last digit owns nothing of the first's.
    start("other device", "02-56-4E-00-00-02", inet_addr("192.168.0.100"));
    start("unowned from its address", "", deviceAddress);
    start("unowned from elsewhere", "", inet_addr("10.0.0.3"));

    EXPECT_EQ(roster_.AbortFor("02-56-4E-00-00-01", deviceAddress), 2U);
    EXPECT_EQ(roster_.AbortFor("", deviceAddress), 0U) << "an empty owner owns nothing";
    // A device that speaks from no address yet (a DISCOVER from 0.0.0.0) owns no unowned task.
    EXPECT_EQ(roster_.AbortFor("02-56-4E-00-00-03", 0), 0U);

    auto ended = aborted();
    std::ranges::sort(ended);
    EXPECT_EQ(ended, (std::vector<std::string>{"owned", "unowned from its address"}));
}

TEST(TaskRoster, AStopReachesASocketPublishedAfterIt) {
    TaskRoster roster(2, 2);
    roster.CancelAll(false);
    std::atomic<bool> interrupted{false};
    std::atomic<bool> aborted{true};
    roster.Start("late", "", 0, [&](TaskRoster::Control& control) {
        CTimedSocket socket;
        ASSERT_TRUE(socket.Create(inet_addr("127.0.0.1"), 0));
        const TaskRoster::Control::Publication published(control, socket);
        std::array<std::uint8_t, 16> buffer{};
        // Without the cancel this receive would wait for ever: the test would hang, not pass.
        interrupted = socket.ReceiveWithTimeout(buffer).error == SocketError::interrupted;
        aborted = control.aborted();
    });
    roster.JoinAll();
    EXPECT_TRUE(interrupted);
    EXPECT_FALSE(aborted) << "a stop is no abort: the task decides whether it ends";
}

}  // namespace
}  // namespace vantor
