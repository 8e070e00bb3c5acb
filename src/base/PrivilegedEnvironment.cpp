#include "base/PrivilegedEnvironment.h"

#include <stdlib.h>
#include <sys/auxv.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <string_view>

namespace vantor {
namespace {

// Variables kept as they are: none of them names code to load.
constexpr std::array<std::string_view, 17> kKept = {
    "DISPLAY",
    "WAYLAND_DISPLAY",
    "XAUTHORITY",
    "XDG_RUNTIME_DIR",
    "XDG_SESSION_TYPE",
    "XDG_STATE_HOME",
    "DBUS_SESSION_BUS_ADDRESS",
    "HOME",
    "USER",
    "LOGNAME",
    "LANG",
    "LANGUAGE",
    "TZ",
    "TERM",
    "QT_SCALE_FACTOR",
    "QT_ENABLE_HIGHDPI_SCALING",
    "QT_AUTO_SCREEN_SCALE_FACTOR",
};

// Kept when the value is one of Qt's own platform plugins: found in Qt's folder only, since
// the paths that could point elsewhere are gone.
constexpr std::array<std::string_view, 4> kPlatforms = {"xcb", "wayland", "offscreen", "minimal"};

bool kept(std::string_view name, std::string_view value) {
    if (name.starts_with("LC_")) {
        return true;
    }
    if (name == "QT_QPA_PLATFORM") {
        return std::find(kPlatforms.begin(), kPlatforms.end(), value) != kPlatforms.end();
    }
    return std::find(kKept.begin(), kKept.end(), name) != kKept.end();
}

}  // namespace

std::vector<std::string> privilegedEnvironment(const std::vector<std::string>& environment) {
    std::vector<std::string> result;
    for (const std::string& entry : environment) {
        const std::size_t equals = entry.find('=');
        if (equals == std::string::npos || equals == 0) {
            continue;
        }
        const std::string_view name = std::string_view(entry).substr(0, equals);
        const std::string_view value = std::string_view(entry).substr(equals + 1);
        const bool seen = std::any_of(result.begin(), result.end(), [&](const std::string& e) {
            return std::string_view(e).substr(0, e.find('=')) == name;
        });
        if (!seen && kept(name, value)) {
            result.push_back(entry);  // the first of a name, as getenv() reads it
        }
    }
    result.push_back(std::string("PATH=") + kPrivilegedSearchPath);
    return result;
}

void confineEnvironmentWhenPrivileged() {
    if (getauxval(AT_SECURE) == 0) {
        return;
    }
    std::vector<std::string> environment;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        environment.emplace_back(*entry);
    }
    const std::vector<std::string> confined = privilegedEnvironment(environment);
    clearenv();
    for (const std::string& entry : confined) {
        const std::size_t equals = entry.find('=');
        setenv(entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str(), 1);
    }
}

}  // namespace vantor
