#include "console/IdleWorkerFactory.h"

#include <condition_variable>
#include <mutex>

namespace vantor {

namespace {

class IdleWorker final : public InterfaceWorker {
  public:
    void run() override {
        std::unique_lock lock(mutex_);
        stopped_.wait(lock, [&] { return stop_; });
    }
    void stop() override {
        std::lock_guard lock(mutex_);
        stop_ = true;
        stopped_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable stopped_;
    bool stop_ = false;
};

class IdleUpgrader final : public FirmwareUpgrader {
  public:
    void OnBrowse() override {}
    void OnUpdate() override {}
    void requestStop() override {}
    bool active() const override { return false; }
};

}  // namespace

std::unique_ptr<InterfaceWorker> IdleWorkerFactory::makeListener(WorkerPorts&, std::uint32_t,
                                                                 std::uint16_t) {
    return std::make_unique<IdleWorker>();
}

std::unique_ptr<InterfaceWorker> IdleWorkerFactory::makeRecoveryListener(WorkerPorts&,
                                                                         std::uint32_t) {
    return std::make_unique<IdleWorker>();
}

std::unique_ptr<FirmwareUpgrader> IdleWorkerFactory::makeUpgradeDriver(WorkerPorts&) {
    return std::make_unique<IdleUpgrader>();
}

}  // namespace vantor
