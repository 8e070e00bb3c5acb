#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ports/ConsoleMode.h"

namespace vantor {

// What the program was asked to do on its command line.
struct CommandLine {
    enum class Action {
        Window,  // no arguments: the main window
        Run,     // --headless: run the console until SIGINT or SIGTERM
        Set,     // --headless --mode manual --mac M --ip A: one Set, then exit
        Update,  // --headless --mode firmware --ip A --password P --archive F: one Update
        Help,
    };

    Action action = Action::Window;
    ConsoleMode mode = ConsoleMode::Auto;
    std::string mac;
    std::string ip;
    std::string password;
    std::string archive;
    bool onePage = false;

    // The options, or the reason they were refused.
    static struct ParsedCommandLine parse(const std::vector<std::string_view>& arguments);
    static std::string usage(std::string_view program);
};

struct ParsedCommandLine {
    std::optional<CommandLine> options;
    std::string error;
};

}  // namespace vantor
