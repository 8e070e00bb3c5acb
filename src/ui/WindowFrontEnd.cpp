#include "ui/WindowFrontEnd.h"

#include <QApplication>

#include "ui/ProgramIcon.h"
#include "ui/WindowSession.h"

namespace vantor::ui {

int runWindow(int argc, char** argv, InterfaceSource& interfaces, WorkerFactory& workers,
              Timings timings) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantor"));
    QApplication::setWindowIcon(ProgramIcon::icon());
    WindowSession session(interfaces, workers, timings);
    session.start();
    const int exitCode = QApplication::exec();
    session.stop();
    return exitCode;
}

}  // namespace vantor::ui
