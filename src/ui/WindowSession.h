#pragma once

#include <QTimer>

#include "base/InterfaceSource.h"
#include "base/Timings.h"
#include "console/OperatorConsole.h"
#include "ports/WorkerFactory.h"
#include "ui/DispatchPump.h"
#include "ui/MainWindow.h"

namespace vantor::ui {

// The console and its window, wired together as the program runs them: workers wake the Qt
// event loop, the banner timer ticks, and closing the window stops every worker before the
// window goes. Needs a QApplication; lives on its thread.
class WindowSession {
  public:
    // logFile: where every status row is kept as well, and what "Save log as..." saves.
    // network: how the modes reach what needs privileges (none: directly).
    WindowSession(InterfaceSource& interfaces, WorkerFactory& workers, Timings timings = {},
                  StatusLogFile* logFile = nullptr, NetworkAccess* network = nullptr);
    // The console built from `services` as they are (its log file included).
    explicit WindowSession(ConsoleServices services);
    ~WindowSession();
    WindowSession(const WindowSession&) = delete;
    WindowSession& operator=(const WindowSession&) = delete;

    // Shows the window and starts the console: Auto mode, the interface list, the listeners,
    // the watcher and the banner's blink.
    void start();
    // Stops the console and detaches it from the window; what closing the window does.
    void stop();

    OperatorConsole& console() { return console_; }
    MainWindow& window() { return window_; }
    DispatchPump& pump() { return pump_; }

  private:
    OperatorConsole console_;
    DispatchPump pump_;
    MainWindow window_;
    QTimer blink_;
};

}  // namespace vantor::ui
