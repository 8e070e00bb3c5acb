// Renders the main window, as the program shows it, into a PNG file without a display
// (QT_QPA_PLATFORM=offscreen), for the pictures of the documentation; scripts/screenshot.sh
// runs it in a network namespace of its own.
// Usage: vantor_window_picture OUTPUT.png [auto|firmware]
#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QPixmap>
#include <QTimer>
#include <chrono>
#include <iostream>
#include <string_view>

#include "app/DeviceWorkerFactory.h"
#include "base/SystemInterfaceSource.h"
#include "ui/WindowSession.h"

namespace {

// Long enough for the interface list and the first blink of the banner.
constexpr std::chrono::milliseconds kSettle{1500};

void settle() {
    QEventLoop loop;
    QTimer::singleShot(kSettle, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
    const std::string_view mode = argc > 2 ? argv[2] : "auto";
    if (argc < 2 || argc > 3 || (mode != "auto" && mode != "firmware")) {
        std::cerr << "usage: vantor_window_picture OUTPUT.png [auto|firmware]\n";
        return 2;
    }
    QApplication app(argc, argv);
    vantor::SystemInterfaceSource interfaces;
    vantor::DeviceWorkerFactory workers;
    vantor::ui::WindowSession session(interfaces, workers);
    session.start();
    if (mode == "firmware") {
        session.window().firmwareFileAction()->trigger();
    }
    settle();
    const bool saved = session.window().grab().save(QString::fromLocal8Bit(argv[1]), "PNG");
    session.stop();
    if (!saved) {
        std::cerr << "vantor_window_picture: cannot write " << argv[1] << "\n";
        return 1;
    }
    return 0;
}
