#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "ports/InterfaceWorker.h"

namespace vantor {

// The running workers of one kind, each on its own thread. Every thread increments the
// shared counter once as it begins and decrements it once as it ends.
class WorkerGroup {
  public:
    // ended is called on a worker's thread right after it decremented the counter, so that a
    // waiting thread can look again at once instead of at its next poll.
    WorkerGroup(std::atomic<int>& counter, std::function<void()> ended);
    ~WorkerGroup();
    WorkerGroup(const WorkerGroup&) = delete;
    WorkerGroup& operator=(const WorkerGroup&) = delete;

    void start(std::unique_ptr<InterfaceWorker> worker);
    // Calls stop() on every worker, in the order they were started; returns at once.
    void stopAll();
    // True when every thread has left its body (the counter may still be read as above 0 by
    // another group's threads).
    bool allEnded() const;
    // Joins the threads and destroys the workers; call after allEnded().
    void clear();
    std::size_t size() const;

  private:
    struct Slot {
        std::unique_ptr<InterfaceWorker> worker;
        std::atomic<bool> ended{false};
        std::thread thread;
    };

    std::atomic<int>& counter_;
    const std::function<void()> ended_;
    mutable std::mutex mutex_;  // the list itself; readers on other threads ask for its size
    std::vector<std::unique_ptr<Slot>> slots_;
};

}  // namespace vantor
