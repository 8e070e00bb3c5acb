#include "console/WorkerGroup.h"

namespace vantor {

WorkerGroup::WorkerGroup(std::atomic<int>& counter, std::function<void()> ended)
    : counter_(counter), ended_(std::move(ended)) {}

WorkerGroup::~WorkerGroup() {
    stopAll();
    clear();
}

void WorkerGroup::start(std::unique_ptr<InterfaceWorker> worker) {
    auto slot = std::make_unique<Slot>();
    slot->worker = std::move(worker);
    Slot* raw = slot.get();
    std::lock_guard lock(mutex_);
    slots_.push_back(std::move(slot));
    raw->thread = std::thread([this, raw] {
        counter_.fetch_add(1);
        raw->worker->run();
        counter_.fetch_sub(1);
        raw->ended.store(true);
        if (ended_) {
            ended_();
        }
    });
}

void WorkerGroup::stopAll() {
    std::lock_guard lock(mutex_);
    for (const auto& slot : slots_) {
        slot->worker->stop();
    }
}

bool WorkerGroup::allEnded() const {
    std::lock_guard lock(mutex_);
    for (const auto& slot : slots_) {
        if (!slot->ended.load()) {
            return false;
        }
    }
    return true;
}

void WorkerGroup::clear() {
    std::vector<std::unique_ptr<Slot>> ending;
    {
        std::lock_guard lock(mutex_);
        ending.swap(slots_);
    }
    for (const auto& slot : ending) {
        if (slot->thread.joinable()) {
            slot->thread.join();
        }
    }
}

std::size_t WorkerGroup::size() const {
    std::lock_guard lock(mutex_);
    return slots_.size();
}

}  // namespace vantor
