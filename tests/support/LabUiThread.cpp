#include "support/LabUiThread.h"

#include <future>

namespace vantor::test {

LabUiThread::LabUiThread(const netlab::LabNamespace& space, ConsoleServices services,
                         RecordingView& view, Action prepare) {
    auto ready = std::make_shared<std::promise<void>>();
    std::future<void> initialised = ready->get_future();
    thread_ = space.start([this, services = std::move(services), &view,
                           prepare = std::move(prepare), ready](const std::stop_token& stop) {
        try {
            console_ = std::make_unique<OperatorConsole>(services);
            console_->attachView(&view);
            console_->Initialize();
            if (prepare) {
                prepare(*console_);
            }
            ready->set_value();
        } catch (...) {
            console_.reset();
            ready->set_exception(std::current_exception());
            return;
        }
        while (!stop.stop_requested()) {
            console_->dispatcher().drainAndWait(std::chrono::milliseconds(5));
        }
        console_->Shutdown();
        console_->attachView(nullptr);
        console_.reset();
    });
    initialised.get();
}

LabUiThread::~LabUiThread() {
    thread_.request_stop();
    thread_.join();
}

bool LabUiThread::onUi(Action fn, std::chrono::milliseconds limit) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> ran = done->get_future();
    OperatorConsole& target = *console_;
    target.dispatcher().post([&target, fn = std::move(fn), done] {
        fn(target);
        done->set_value();
    });
    return ran.wait_for(limit) == std::future_status::ready;
}

}  // namespace vantor::test
