// The environment a program started with file capabilities keeps. The package grants the
// program network capabilities so that an ordinary user can run it; every variable that makes a
// library load code or read configuration from a place the user chooses would hand those
// capabilities to the user's own code: Qt's plugin paths (QT_PLUGIN_PATH), the desktop's
// platform theme (XDG_CURRENT_DESKTOP brings in the GTK theme plugin, which loads GTK modules
// named in the user's settings), GTK_MODULES, and the like. The C library already ignores
// LD_PRELOAD in such a process; Qt and GTK do not look.
#pragma once

#include <string>
#include <vector>

namespace vantor {

// The search path the program uses for its tools (`ip`) while it holds capabilities.
inline constexpr const char* kPrivilegedSearchPath = "/usr/sbin:/usr/bin:/sbin:/bin";

// The entries ("NAME=value") of `environment` that a privileged run keeps: the display, the
// session bus, the user's identity, home, language and time zone, the state folder of the
// log file, and Qt's scaling and platform choice among the plugins Qt ships. PATH becomes
// kPrivilegedSearchPath. Order is kept; anything else is left out.
std::vector<std::string> privilegedEnvironment(const std::vector<std::string>& environment);

// When the kernel started this process with gained privileges (AT_SECURE: file capabilities,
// set-user-ID), replaces the environment with privilegedEnvironment() of it. Call it first in
// main, before any library reads the environment or a thread starts.
void confineEnvironmentWhenPrivileged();

}  // namespace vantor
