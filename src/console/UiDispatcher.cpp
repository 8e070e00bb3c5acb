#include "console/UiDispatcher.h"

namespace vantor {

UiDispatcher::UiDispatcher(std::function<void()> wake) : wake_(std::move(wake)) {
    uiThread_ = std::this_thread::get_id();
}

void UiDispatcher::setWake(std::function<void()> wake) {
    std::lock_guard lock(mutex_);
    wake_ = std::move(wake);
}

void UiDispatcher::bindToCurrentThread() {
    std::lock_guard lock(mutex_);
    uiThread_ = std::this_thread::get_id();
}

bool UiDispatcher::onUiThread() const {
    std::lock_guard lock(mutex_);
    return uiThread_ == std::this_thread::get_id();
}

void UiDispatcher::invoke(const Task& task) {
    std::unique_lock lock(mutex_);
    if (closed_ || uiThread_ == std::this_thread::get_id()) {
        lock.unlock();
        task();
        return;
    }
    bool done = false;
    queue_.push_back(Item{task, &done});
    queued_.notify_all();
    const std::function<void()> wake = wake_;
    lock.unlock();
    if (wake) {
        wake();
    }
    lock.lock();
    ran_.wait(lock, [&] { return done; });
}

void UiDispatcher::post(Task task) {
    std::function<void()> wake;
    {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return;  // no front-end is left to show it
        }
        queue_.push_back(Item{std::move(task), nullptr});
        queued_.notify_all();
        wake = wake_;
    }
    if (wake) {
        wake();
    }
}

std::size_t UiDispatcher::drain() {
    std::size_t count = 0;
    std::unique_lock lock(mutex_);
    while (!queue_.empty()) {
        Item item = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        item.task();
        ++count;
        lock.lock();
        if (item.done != nullptr) {
            *item.done = true;
            ran_.notify_all();
        }
    }
    return count;
}

void UiDispatcher::drainAndWait(std::chrono::milliseconds timeout) {
    drain();
    std::unique_lock lock(mutex_);
    queued_.wait_for(lock, timeout, [&] { return !queue_.empty() || notified_; });
    notified_ = false;
}

void UiDispatcher::waitUntil(const std::function<bool()>& done, std::chrono::milliseconds poll) {
    for (;;) {
        drain();
        if (done()) {
            return;
        }
        // Queued work wakes the wait early so that a worker waiting for us is served at once;
        // the condition itself is looked at once per poll as well.
        std::unique_lock lock(mutex_);
        queued_.wait_for(lock, poll, [&] { return !queue_.empty() || notified_; });
        notified_ = false;
    }
}

void UiDispatcher::notify() {
    std::function<void()> wake;
    {
        std::lock_guard lock(mutex_);
        notified_ = true;
        queued_.notify_all();
        wake = wake_;
    }
    if (wake) {
        wake();
    }
}

void UiDispatcher::close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    // Nothing can be queued any more; run what is left so that no invoke() keeps waiting.
    drain();
}

std::unique_lock<std::mutex> UiDispatcher::lockServing(std::mutex& mutex) {
    if (!onUiThread()) {
        return std::unique_lock(mutex);
    }
    std::unique_lock lock(mutex, std::try_to_lock);
    while (!lock.owns_lock()) {
        if (drain() == 0) {
            std::this_thread::sleep_for(kLockRetryPause);
        }
        lock.try_lock();
    }
    return lock;
}

UiLock::UiLock(std::mutex& mutex, UiDispatcher& dispatcher)
    : lock_(dispatcher.lockServing(mutex)) {}

}  // namespace vantor
