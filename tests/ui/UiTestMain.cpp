// The window tests need a QApplication before any widget exists; test discovery runs this
// binary too, without the test's environment, so the offscreen platform is the default here.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "ui/TerminationSignals.h"

// Read by ThreadSanitizer builds only. Qt is not built with it: its futex-based locks are
// invisible to the sanitizer, so the image conversions Qt spreads over its own thread pool
// look like races inside Qt. Races in our code are still reported.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libQt6Core.so\n"
           "race:libQt6Gui.so\n";
}

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    // As the program does: every thread, Qt's own included, leaves SIGINT and SIGTERM to the
    // window's watcher.
    vantor::ui::TerminationSignals::block();
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
