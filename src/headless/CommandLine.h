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
        Version,
    };
    // Where the Update's device password comes from.
    enum class PasswordSource {
        Argument,       // --password P: readable by every user of the PC (ps)
        StandardInput,  // --password -: one line
        File,           // --password-file FILE: its first line
    };

    Action action = Action::Window;
    ConsoleMode mode = ConsoleMode::Auto;
    std::string mac;  // XX-XX-XX-XX-XX-XX, upper case, whichever notation was typed
    std::string ip;
    std::string password;      // PasswordSource::Argument only; the others are read later
    std::string passwordFile;  // PasswordSource::File
    PasswordSource passwordSource = PasswordSource::Argument;
    std::string archive;
    bool onePage = false;
    std::string logFile;  // --log-file; empty: the default place
    // --boot-images: the recovery kit folder, before every other place; empty: none given.
    std::string bootImages;
    // Auto: --every-device takes every device that announces; --devices-csv writes the list
    // of devices heard there at the end (empty: nowhere).
    bool everyDevice = false;
    std::string devicesCsv;

    // "02-56-4E-00-00-D2" for "02-56-4e-00-00-d2" or "02:56:4e:00:00:d2"; nothing for any
    // other text.
    static std::optional<std::string> normalizedMac(std::string_view text);
    // Whether the text is a dotted IPv4 address, four decimal parts of 0 to 255.
    static bool isIpv4(std::string_view text);
    // A batch upgrade: the --ip addresses in their order, or the --ip-list file, and the
    // devices either names (read and checked by ArgumentFiles before the console starts), and
    // how many devices at once.
    std::vector<std::string> ips;
    std::string ipList;
    std::vector<std::string> batchAddresses;
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
