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
        // The same with several --ip or with --ip-list FILE: one upgrade for each device.
        BatchUpdate,
        Help,
    };

    Action action = Action::Window;
    ConsoleMode mode = ConsoleMode::Auto;
    std::string mac;
    std::string ip;
    std::string password;
    std::string archive;
    bool onePage = false;
    // A batch upgrade: the --ip addresses in their order, or the --ip-list file (read and
    // checked when the batch starts), and how many devices at once.
    std::vector<std::string> ips;
    std::string ipList;
    int parallel = 0;  // 0: not given

    // The options, or the reason they were refused.
    static struct ParsedCommandLine parse(const std::vector<std::string_view>& arguments);
    static std::string usage(std::string_view program);
};

struct ParsedCommandLine {
    std::optional<CommandLine> options;
    std::string error;
};

}  // namespace vantor
