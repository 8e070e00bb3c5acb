#pragma once

#include <QObject>
#include <atomic>

namespace vantor {
class UiDispatcher;
}

namespace vantor::ui {

// Lets the console's workers reach the Qt event loop: a worker that queues work for the
// user-interface thread wakes the loop, which then drains the dispatcher there. Wakes that
// arrive while a drain is already on its way are folded into it, so a flood of worker
// requests costs one queued event, not one each.
class DispatchPump final : public QObject {
    Q_OBJECT

  public:
    explicit DispatchPump(UiDispatcher& dispatcher, QObject* parent = nullptr);
    // Takes the wake-up call back; no worker may be running by then.
    ~DispatchPump() override;
    DispatchPump(const DispatchPump&) = delete;
    DispatchPump& operator=(const DispatchPump&) = delete;

    // Number of drains the event loop has run (for tests and the benchmark).
    int drains() const { return drains_.load(); }

  private:
    void wake();
    void drain();

    UiDispatcher& dispatcher_;
    std::atomic<bool> pending_{false};
    std::atomic<int> drains_{0};
};

}  // namespace vantor::ui
