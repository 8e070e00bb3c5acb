#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace vantor {

// Carries work from any thread to the user-interface thread.
//
// Workers ask for control changes with invoke(), which waits until the user-interface thread
// has run them. The user-interface thread never blocks without draining this queue: its waits
// for worker counters (waitUntil) and its lock acquisitions (UiLock) run queued work meanwhile,
// so a worker waiting here can always finish while the console waits for it.
class UiDispatcher {
  public:
    using Task = std::function<void()>;

    // wake is called from any thread when work is queued; the front-end's event loop answers
    // it by calling drain() on the user-interface thread soon. It may be empty when the
    // front-end drains by itself.
    explicit UiDispatcher(std::function<void()> wake = {});
    UiDispatcher(const UiDispatcher&) = delete;
    UiDispatcher& operator=(const UiDispatcher&) = delete;

    // Sets the wake-up call (before any worker runs).
    void setWake(std::function<void()> wake);

    // Makes the calling thread the user-interface thread.
    void bindToCurrentThread();
    bool onUiThread() const;

    // Runs the task on the user-interface thread and returns when it has run. On that thread
    // itself it runs at once. After close() it runs the task on the calling thread, because no
    // user-interface thread is left to run it.
    void invoke(const Task& task);
    // Queues the task and returns at once.
    void post(Task task);

    // User-interface thread: runs every queued task. Returns the number run.
    std::size_t drain();
    // User-interface thread: drains, then waits up to `timeout` for new work or notify().
    void drainAndWait(std::chrono::milliseconds timeout);
    // User-interface thread: polls `done` every `poll`, draining queued work in between.
    void waitUntil(const std::function<bool()>& done, std::chrono::milliseconds poll);
    // Wakes a drainAndWait() early, from any thread.
    void notify();

    // No more hand-over: later invoke() calls run on their own thread.
    void close();

    // Locks the mutex. On the user-interface thread queued work keeps running while another
    // thread holds it, so a worker that holds it and waits for this thread is never stuck;
    // on any other thread it is a plain lock.
    std::unique_lock<std::mutex> lockServing(std::mutex& mutex);

  private:
    // Between two attempts at a lock held elsewhere when no work was queued.
    static constexpr std::chrono::milliseconds kLockRetryPause{1};

    struct Item {
        Task task;
        bool* done = nullptr;  // set under mutex_ when an invoke()d task has run
    };

    std::function<void()> wake_;
    mutable std::mutex mutex_;
    std::condition_variable queued_;  // new work for the user-interface thread
    std::condition_variable ran_;     // an invoke()d task has run
    std::deque<Item> queue_;
    std::thread::id uiThread_;
    bool closed_ = false;
    bool notified_ = false;
};

// A lock taken on the user-interface thread without blocking the queue: while the mutex is
// held elsewhere, queued work keeps running, so a worker that holds the mutex and waits for
// the user-interface thread is never stuck. On any other thread it is a plain lock.
class UiLock {
  public:
    UiLock(std::mutex& mutex, UiDispatcher& dispatcher);

  private:
    std::unique_lock<std::mutex> lock_;
};

}  // namespace vantor
