#include "ui/WindowSession.h"

#include "console/StatusLogFile.h"
#include "ui/StatusList.h"

namespace vantor::ui {

namespace {

ConsoleServices servicesWith(ConsoleServices services, StatusLogFile* logFile,
                             NetworkAccess* network) {
    services.logFile = logFile;
    services.network = network;
    return services;
}

}  // namespace

WindowSession::WindowSession(InterfaceSource& interfaces, WorkerFactory& workers, Timings timings,
                             StatusLogFile* logFile, NetworkAccess* network)
    : WindowSession(servicesWith(ConsoleServices{interfaces, workers, timings}, logFile, network)) {
}

WindowSession::WindowSession(ConsoleServices services)
    : console_(services), pump_(console_.dispatcher()), window_(console_) {
    if (StatusLogFile* logFile = services.logFile; logFile != nullptr) {
        window_.statusList()->setLogSaver(
            [logFile](const std::string& destination) { return logFile->saveCopy(destination); });
    }
    blink_.setInterval(services.timings.bannerBlink);
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
