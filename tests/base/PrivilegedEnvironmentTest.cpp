#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/PrivilegedEnvironment.h"

namespace vantor {
namespace {

using Environment = std::vector<std::string>;

TEST(PrivilegedEnvironment, KeepsTheSessionAndDropsWhatCouldLoadTheUsersCode) {
    const Environment given = {
        "DISPLAY=:0",
        "QT_PLUGIN_PATH=/tmp/x",  // Qt would load a plugin from there
        "QT_QPA_PLATFORM_PLUGIN_PATH=/tmp/x",
        "QT_QPA_PLATFORMTHEME=gtk3",  // and GTK the modules of the user's settings
        "XDG_CURRENT_DESKTOP=GNOME",  // picks the GTK theme plugin too
        "GTK_MODULES=evil",
        "LD_PRELOAD=/tmp/x.so",
        "PATH=/tmp/bin:/usr/bin",
        "HOME=/home/installer",
        "LC_TIME=de_DE.UTF-8",
        "LC_=x",        // still an LC_ name
        "LCX=1",        // one character off: not a locale variable
        "DISPLAYX=:1",  // one character more than a kept name
        "QT_QPA_PLATFORM=xcb",
        "XDG_STATE_HOME=/home/installer/.state",
        "DISPLAY=:9",  // a second DISPLAY: getenv() reads the first
        "=nameless",
        "NOEQUALS",
    };
    const Environment expected = {
        "DISPLAY=:0",
        "HOME=/home/installer",
        "LC_TIME=de_DE.UTF-8",
        "LC_=x",
        "QT_QPA_PLATFORM=xcb",
        "XDG_STATE_HOME=/home/installer/.state",
        std::string("PATH=") + kPrivilegedSearchPath,
    };
    EXPECT_EQ(privilegedEnvironment(given), expected);
}

TEST(PrivilegedEnvironment, KeepsOnlyQtsOwnPlatformPlugins) {
    for (const char* platform : {"xcb", "wayland", "offscreen", "minimal"}) {
        const Environment kept =
            privilegedEnvironment({std::string("QT_QPA_PLATFORM=") + platform});
        EXPECT_EQ(kept.size(), 2u) << platform;
    }
    for (const char* platform : {"xcb:plugindir=/tmp", "/tmp/libx.so", "", "wayland-egl2"}) {
        const Environment kept =
            privilegedEnvironment({std::string("QT_QPA_PLATFORM=") + platform});
        EXPECT_EQ(kept, Environment{std::string("PATH=") + kPrivilegedSearchPath}) << platform;
    }
}

}  // namespace
}  // namespace vantor
