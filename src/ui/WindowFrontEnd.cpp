#include "ui/WindowFrontEnd.h"

#include <QApplication>

#include "ui/ProgramIcon.h"
#include "ui/TerminationSignals.h"
#include "ui/WindowSession.h"

namespace vantor::ui {

int runWindow(int argc, char** argv, InterfaceSource& interfaces, WorkerFactory& workers,
              Timings timings, StatusLogFile* logFile, NetworkAccess* network) {
    TerminationSignals::block();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantor"));
    QApplication::setWindowIcon(ProgramIcon::icon());
    WindowSession session(interfaces, workers, timings, logFile, network);
    const TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &session.window(),
                     &QWidget::close);
    session.window().setTerminationFd(termination.fd());
    session.start();
    const int exitCode = QApplication::exec();
    session.stop();
    return exitCode;
}

}  // namespace vantor::ui
