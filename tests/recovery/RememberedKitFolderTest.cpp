#include "recovery/RememberedKitFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "upgrade/TempDir.h"

namespace vantor {
namespace {

// Each row sets the environment, writes the file (by hand when `save` is off), reads it back.
TEST(RememberedKitFolder, KeepsOneAbsoluteFolderUnderTheConfigHomeOrHome) {
    const test::TempDir dir;
    const std::string base = dir.path().string() + "/";
    const char* home = std::getenv("HOME");
    const std::string oldHome = home != nullptr ? home : "";
    struct Case {
        std::string configHome, text;
        bool save;
        std::string file, loaded;
    };
    const std::string inConfig = base + "cfg/vantor/recovery-kit";
    const std::string inHome = base + "h/.config/vantor/recovery-kit";
    const Case cases[] = {
        {base + "cfg", "/srv/kit one", true, inConfig, "/srv/kit one"},
        {"", "/srv/kit", true, inHome, "/srv/kit"},
        {"relative", "/srv/kit", true, inHome, "/srv/kit"},
        {base + "cfg", "  /srv/kit \r\n/other\n", false, inConfig, "/srv/kit"},
        {base + "cfg", "kit/relative\n", false, inConfig, ""},
        {base + "cfg", "", true, inConfig, ""},
    };
    std::filesystem::create_directory(base + "h");  // a home exists; its .config need not
    ::setenv("HOME", (base + "h").c_str(), 1);
    for (const Case& c : cases) {
        ::setenv("XDG_CONFIG_HOME", c.configHome.c_str(), 1);
        EXPECT_EQ(RememberedKitFolder::File(), c.file) << c.configHome;
        EXPECT_TRUE(RememberedKitFolder::Save(c.save ? c.text : "/before"));
        if (!c.save) {
            std::ofstream(RememberedKitFolder::File()) << c.text;
        }
        EXPECT_EQ(RememberedKitFolder::Load(), c.loaded) << c.text;
    }
    // A FIFO in its place, with no writer, is not waited for.
    std::filesystem::remove(inConfig);
    ASSERT_EQ(::mkfifo(inConfig.c_str(), 0600), 0);
    EXPECT_EQ(RememberedKitFolder::Load(), "");
    ::setenv("HOME", oldHome.c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace vantor
