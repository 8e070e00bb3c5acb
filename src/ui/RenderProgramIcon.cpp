// Writes the program's icon as PNG files in the hicolor theme's layout, for the package:
//   vantor_render_icon DIR NAME SIZE...   ->   DIR/SIZExSIZE/apps/NAME.png
// The desktop then shows the very icon the window draws for itself (ProgramIcon).
#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <cstdio>

#include "ui/ProgramIcon.h"

namespace {

constexpr int kLargestSize = 1024;

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s DIR NAME SIZE...\n", argv[0]);
        return 2;
    }
    // A build machine has no display; the pixmaps are painted in memory only.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    const QString root = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        bool number = false;
        const int size = QString::fromLocal8Bit(argv[i]).toInt(&number);
        if (!number || size <= 0 || size > kLargestSize) {
            std::fprintf(stderr, "%s: bad size '%s'\n", argv[0], argv[i]);
            return 2;
        }
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
        const QString file = QStringLiteral("%1/%2.png").arg(folder, name);
        if (!QDir().mkpath(folder) || !vantor::ui::ProgramIcon::pixmap(size).save(file, "PNG")) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], qPrintable(file));
            return 1;
        }
    }
    return 0;
}
