#include "console/UiDispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace vantor {
namespace {

using namespace std::chrono_literals;

TEST(UiDispatcher, WorkerInvokeRunsOnUiThreadWhileItWaitsForWorker) {
    UiDispatcher dispatcher;
    dispatcher.bindToCurrentThread();
    const auto uiThread = std::this_thread::get_id();
    std::atomic<bool> ranOnUi{false};
    std::atomic<bool> workerDone{false};
    std::thread worker([&] {
        dispatcher.invoke([&] { ranOnUi = std::this_thread::get_id() == uiThread; });
        workerDone = true;
    });
    // The user-interface thread waits for the worker the way a mode switch does.
    dispatcher.waitUntil([&] { return workerDone.load(); }, 100ms);
    worker.join();
    EXPECT_TRUE(ranOnUi);
}

TEST(UiDispatcher, UiLockServesAWorkerThatHoldsTheMutexAndWaitsForTheUi) {
    UiDispatcher dispatcher;
    dispatcher.bindToCurrentThread();
    std::mutex shared;
    std::atomic<bool> holding{false};
    int changes = 0;
    std::thread worker([&] {
        std::lock_guard lock(shared);
        holding = true;
        dispatcher.invoke([&] { ++changes; });  // a field update made under the lock
    });
    while (!holding) {
        std::this_thread::yield();
    }
    {
        UiLock lock(shared, dispatcher);  // would deadlock with a plain lock
        EXPECT_EQ(changes, 1);
    }
    worker.join();
}

TEST(UiDispatcher, InvokeOnTheUiThreadRunsAtOnceAndAfterCloseOnTheCaller) {
    UiDispatcher dispatcher;
    dispatcher.bindToCurrentThread();
    int runs = 0;
    dispatcher.invoke([&] { ++runs; });
    EXPECT_EQ(runs, 1);
    dispatcher.close();
    std::thread([&] { dispatcher.invoke([&] { ++runs; }); }).join();
    EXPECT_EQ(runs, 2);
}

TEST(UiDispatcher, PostedWorkRunsInOrderWithInvokedWork) {
    UiDispatcher dispatcher;
    dispatcher.bindToCurrentThread();
    std::vector<int> order;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        dispatcher.invoke([&] { order.push_back(1); });
        dispatcher.post([&] { order.push_back(2); });
        dispatcher.invoke([&] { order.push_back(3); });
        done = true;
    });
    dispatcher.waitUntil([&] { return done.load(); }, 10ms);
    worker.join();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

}  // namespace
}  // namespace vantor
