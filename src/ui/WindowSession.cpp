#include "ui/WindowSession.h"

namespace vantor::ui {

WindowSession::WindowSession(InterfaceSource& interfaces, WorkerFactory& workers, Timings timings)
    : console_(ConsoleServices{interfaces, workers, timings}),
      pump_(console_.dispatcher()),
      window_(console_) {
    blink_.setInterval(timings.bannerBlink);
    blink_.setTimerType(Qt::CoarseTimer);
    QObject::connect(&blink_, &QTimer::timeout, &window_, [this] { console_.OnTimerTick(); });
    QObject::connect(&window_, &MainWindow::closed, &window_, [this] { blink_.stop(); });
}

WindowSession::~WindowSession() {
    stop();
}

void WindowSession::start() {
    console_.attachView(&window_);
    window_.show();
    console_.Initialize();
    blink_.start();
}

void WindowSession::stop() {
    blink_.stop();
    // Closing runs the console's shutdown; a window that was never shown or has closed
    // already is stopped here directly.
    if (window_.isVisible()) {
        window_.close();
    }
    console_.Shutdown();
    console_.attachView(nullptr);
}

}  // namespace vantor::ui
