#include "headless/CommandLine.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <utility>

#include "headless/ArgumentFiles.h"
#include "ports/BatchUpgrader.h"

namespace vantor {

namespace {

// What a refused value should have looked like, named in the refusal.
constexpr std::string_view kMacForm = "XX-XX-XX-XX-XX-XX or xx:xx:xx:xx:xx:xx (hexadecimal)";
constexpr std::string_view kIpForm = "A.B.C.D, each part 0 to 255";
constexpr std::string_view kPasswordForms = "--password P, --password - or --password-file FILE";
constexpr std::size_t kMacOctets = 6;
constexpr std::size_t kIpv4Parts = 4;
constexpr int kIpv4PartMax = 255;
constexpr std::size_t kIpv4PartDigits = 3;

bool isHex(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

std::optional<ConsoleMode> modeFromName(std::string_view name) {
    for (ConsoleMode mode : {ConsoleMode::Auto, ConsoleMode::Manual, ConsoleMode::Recovery,
                             ConsoleMode::FirmwareFile}) {
        if (modeName(mode) == name) {
            return mode;
        }
    }
    return std::nullopt;
}

// One option of --help: the option as typed, and what it does (lines broken with "\n").
struct HelpLine {
    std::string_view option;
    std::string_view text;
};

// Where --help starts every option's description: past the longest option and two blanks.
constexpr std::size_t kHelpColumn = 24;
// How much deeper than the program's name a usage form's continuation line starts.
constexpr std::size_t kFormContinuation = 4;

// The usage forms after the program's name, each line within 80 columns.
constexpr std::array<std::string_view, 7> kUsageForms{
    "[--log-file PATH] [--boot-images DIR]",
    "--headless [--mode auto|manual|recovery|firmware]",
    "--headless [--mode auto] [--every-device] [--devices-csv FILE]",
    "--headless --mode manual --mac MAC --ip A.B.C.D",
    "--headless --mode firmware --ip A.B.C.D PASSWORD --archive FILE\n[--one-page]",
    "--headless --mode firmware (--ip A.B.C.D ... | --ip-list FILE)\nPASSWORD --archive FILE "
    "[--parallel N] [--one-page]",
    "--help | --version",
};

// The numbers --help states.
static_assert(kBatchDefaultParallel == 4 && kBatchMaxParallel == 16);
static_assert(ArgumentFiles::kAddressListMax == 1048576);

constexpr std::array kHelpLines{
    HelpLine{"--headless",
             "run without a window; every option below but --log-file,\n"
             "--boot-images, --help and --version needs it"},
    HelpLine{"--mode MODE", "auto (the default), manual, recovery or firmware"},
    HelpLine{"--every-device", "auto: take each announcing device, not only the first"},
    HelpLine{"--devices-csv FILE",
             "auto: write the devices heard to FILE (CSV) when the\n"
             "program ends"},
    HelpLine{"--mac MAC", "a Set's device: XX-XX-XX-XX-XX-XX or xx:xx:xx:xx:xx:xx"},
    HelpLine{"--ip A.B.C.D",
             "with --mac: the address to give; in firmware mode: the\n"
             "device to upgrade (repeat it to upgrade several)"},
    HelpLine{"--ip-list FILE",
             "the devices to upgrade, one address a line ('#' starts a\n"
             "comment); a regular file of at most 1048576 bytes"},
    HelpLine{"--password-file FILE", "the device password: the first line of FILE"},
    HelpLine{"--password -", "the device password: one line read from standard input"},
    HelpLine{"--password P", "the device password itself (every user can read it: ps)"},
    HelpLine{"--archive FILE", "the firmware archive (.zip) to send"},
    HelpLine{"--one-page", "send one page per packet rather than four"},
    HelpLine{"--parallel N", "upgrade N devices at a time, 1 to 16 (default 4)"},
    HelpLine{"--log-file PATH",
             "append the status log to PATH rather than to\n"
             "$XDG_STATE_HOME/vantor/vantor.log"},
    HelpLine{"--boot-images DIR",
             "the recovery kit folder (boot images, kit.conf), taken\n"
             "before every other place one is looked for"},
    HelpLine{"-h, --help", "show this text"},
    HelpLine{"--version", "show the version and how the program was built"},
};

// Appends `lines` and a line end, each line after the first led by `indent` blanks.
void appendIndented(std::string& text, std::string_view lines, std::size_t indent) {
    for (const char c : lines) {
        text += c;
        if (c == '\n') {
            text.append(indent, ' ');
        }
    }
    text += '\n';
}

ParsedCommandLine refuse(std::string message) {
    return {std::nullopt, std::move(message)};
}

}  // namespace

std::optional<std::string> CommandLine::normalizedMac(std::string_view text) {
    // Six pairs and five separators, all the same: "-" as the window shows a MAC, ":" as
    // `ip link` prints one.
    constexpr std::size_t kLength = kMacOctets * 3 - 1;
    if (text.size() != kLength || (text[2] != '-' && text[2] != ':')) {
        return std::nullopt;
    }
    const char separator = text[2];
    std::string mac;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool separatorPlace = i % 3 == 2;
        if (separatorPlace ? text[i] != separator : !isHex(text[i])) {
            return std::nullopt;
        }
        mac.push_back(separatorPlace
                          ? '-'
                          : static_cast<char>(std::toupper(static_cast<unsigned char>(text[i]))));
    }
    return mac;
}

bool CommandLine::isIpv4(std::string_view text) {
    std::size_t parts = 0;
    for (;;) {
        const std::size_t dot = text.find('.');
        const std::string_view part = text.substr(0, dot);
        if (part.empty() || part.size() > kIpv4PartDigits) {
            return false;
        }
        int value = 0;
        for (char c : part) {
            if (std::isdigit(static_cast<unsigned char>(c)) == 0) {
                return false;
            }
            value = value * 10 + (c - '0');
        }
        if (value > kIpv4PartMax || ++parts > kIpv4Parts) {
            return false;
        }
        if (dot == std::string_view::npos) {
            return parts == kIpv4Parts;
        }
        text.remove_prefix(dot + 1);
    }
}

ParsedCommandLine CommandLine::parse(const std::vector<std::string_view>& arguments) {
    CommandLine result;
    bool headless = false;
    bool modeGiven = false;
    bool onePageGiven = false;
    bool everyDevice = false;
    std::optional<std::string> mac, ip, password, passwordFile, archive, logFile, ipList,
        parallelText, bootImages, devicesCsv;
    std::vector<std::string> ips;  // every --ip, in order: repeated for a batch upgrade
    // The options that take a value once, each with the slot it fills.
    const std::array<std::pair<std::string_view, std::optional<std::string>*>, 9> valueOptions{{
        {"--mac", &mac},
        {"--password", &password},
        {"--password-file", &passwordFile},
        {"--archive", &archive},
        {"--log-file", &logFile},
        {"--boot-images", &bootImages},
        {"--ip-list", &ipList},
        {"--parallel", &parallelText},
        {"--devices-csv", &devicesCsv},
    }};

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view arg = arguments[i];
        // Options that take a value accept "--name value" and "--name=value".
        std::string_view name = arg;
        std::optional<std::string_view> inlineValue;
        if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
            name = arg.substr(0, eq);
            inlineValue = arg.substr(eq + 1);
        }
        const auto value = [&]() -> std::optional<std::string> {
            if (inlineValue) {
                return std::string(*inlineValue);
            }
            if (i + 1 >= arguments.size()) {
                return std::nullopt;
            }
            return std::string(arguments[++i]);
        };
        const auto take = [&](std::optional<std::string>& slot) -> std::optional<std::string> {
            if (slot) {
                return "option " + std::string(name) + " given twice";
            }
            slot = value();
            if (!slot) {
                return "option " + std::string(name) + " needs a value";
            }
            return std::nullopt;
        };

        if (name == "--help" || name == "-h") {
            result.action = Action::Help;
            return {result, {}};
        }
        if (name == "--version" && !inlineValue) {
            result.action = Action::Version;
            // "--boot-images DIR --version" names the kit that DIR makes.
            result.bootImages = bootImages.value_or("");
            return {result, {}};
        }
        const auto valueOption =
            std::find_if(valueOptions.begin(), valueOptions.end(),
                         [&](const auto& option) { return option.first == name; });
        if (name == "--headless" && !inlineValue) {
            headless = true;
        } else if (name == "--one-page" && !inlineValue) {
            onePageGiven = true;
        } else if (name == "--every-device" && !inlineValue) {
            everyDevice = true;
        } else if (name == "--mode") {
            std::optional<std::string> modeText;
            if (modeGiven) {
                return refuse("option --mode given twice");
            }
            if (auto error = take(modeText)) {
                return refuse(*error);
            }
            const auto mode = modeFromName(*modeText);
            if (!mode) {
                return refuse("unknown mode '" + *modeText +
                              "' (expected auto, manual, recovery or firmware)");
            }
            result.mode = *mode;
            modeGiven = true;
        } else if (name == "--ip") {
            // Repeated for a batch upgrade; a Set refuses a second one below.
            std::optional<std::string> one;
            if (auto error = take(one)) {
                return refuse(*error);
            }
            if (!ip) {
                ip = one;
            }
            ips.push_back(*one);
        } else if (valueOption != valueOptions.end()) {
            if (auto error = take(*valueOption->second)) {
                return refuse(*error);
            }
        } else {
            return refuse("unknown argument '" + std::string(arg) + "'");
        }
    }

    // Each value is checked before anything is sent: a refusal here is a usage error.
    if (mac) {
        const auto normalized = normalizedMac(*mac);
        if (!normalized) {
            return refuse("--mac '" + *mac + "' is not a MAC address; expected " +
                          std::string(kMacForm));
        }
        mac = *normalized;
    }
    for (const std::string& each : ips) {
        if (!isIpv4(each)) {
            return refuse("--ip '" + each + "' is not an IPv4 address; expected " +
                          std::string(kIpForm));
        }
    }
    if (password && passwordFile) {
        return refuse("give the device password once: " + std::string(kPasswordForms));
    }
    if (logFile && logFile->empty()) {
        return refuse("--log-file needs a file name");
    }
    if (bootImages && bootImages->empty()) {
        return refuse("--boot-images needs a folder");
    }
    result.bootImages = bootImages.value_or("");

    result.logFile = logFile.value_or("");
    const bool anyOption = modeGiven || onePageGiven || mac || ip || password || passwordFile ||
                           archive || ipList || parallelText || everyDevice || devicesCsv;
    if (!headless) {
        if (anyOption) {
            return refuse("options other than --help need --headless");
        }
        return {result, {}};
    }
    result.action = Action::Run;
    // The list of devices heard is Auto's, and headless Auto runs until it is stopped.
    if ((everyDevice || devicesCsv) && result.mode != ConsoleMode::Auto) {
        return refuse("--every-device and --devices-csv need --mode auto");
    }
    if (devicesCsv && devicesCsv->empty()) {
        return refuse("--devices-csv needs a file name");
    }
    result.everyDevice = everyDevice;
    result.devicesCsv = devicesCsv.value_or("");
    const bool setOptions = mac.has_value();
    const bool batchOptions = ips.size() > 1 || ipList || parallelText;
    const bool updateOptions = password || passwordFile || archive || onePageGiven || batchOptions;
    if (setOptions && updateOptions) {
        return refuse(
            "--mac cannot be combined with --password, --password-file, --archive or --one-page");
    }
    if (setOptions || (ip && result.mode == ConsoleMode::Manual)) {
        if (result.mode != ConsoleMode::Manual) {
            return refuse("--mac and --ip need --mode manual");
        }
        if (!mac || !ip) {
            return refuse("a Set needs both --mac and --ip");
        }
        if (ips.size() > 1) {
            return refuse("option --ip given twice");
        }
        result.action = Action::Set;
    } else if (batchOptions) {
        if (result.mode != ConsoleMode::FirmwareFile) {
            return refuse("several --ip, --ip-list and --parallel need --mode firmware");
        }
        if (ipList && ip) {
            return refuse("--ip-list cannot be combined with --ip");
        }
        if (!(password || passwordFile) || !archive) {
            return refuse("a batch upgrade needs the device password (" +
                          std::string(kPasswordForms) + ") and --archive");
        }
        if (parallelText) {
            int parallel = 0;
            const char* end = parallelText->data() + parallelText->size();
            const auto [next, error] = std::from_chars(parallelText->data(), end, parallel);
            if (error != std::errc{} || next != end || parallel < 1 ||
                parallel > kBatchMaxParallel) {
                return refuse("--parallel takes a number from 1 to " +
                              std::to_string(kBatchMaxParallel));
            }
            result.parallel = parallel;
        }
        result.action = Action::BatchUpdate;
    } else if (updateOptions || ip) {
        if (result.mode != ConsoleMode::FirmwareFile) {
            return refuse(
                "--ip, --password, --password-file, --archive and --one-page need --mode firmware");
        }
        if (!ip || !(password || passwordFile) || !archive) {
            return refuse("an Update needs --ip, the device password (" +
                          std::string(kPasswordForms) + ") and --archive");
        }
        result.action = Action::Update;
    }
    result.mac = mac.value_or("");
    result.ip = ip.value_or("");
    result.password = password.value_or("");
    result.passwordFile = passwordFile.value_or("");
    result.passwordSource = passwordFile      ? PasswordSource::File
                            : password == "-" ? PasswordSource::StandardInput
                                              : PasswordSource::Argument;
    if (result.passwordSource == PasswordSource::StandardInput) {
        result.password.clear();
    }
    result.archive = archive.value_or("");
    result.onePage = onePageGiven;
    result.ips = std::move(ips);
    result.ipList = ipList.value_or("");
    return {result, {}};
}

std::string CommandLine::usage(std::string_view program) {
    std::string text;
    const std::string_view lead = "Usage: ";
    for (const std::string_view form : kUsageForms) {
        text += text.empty() ? lead : std::string(lead.size(), ' ');
        text += program;
        text += ' ';
        // A form's continuation lines start under its first option.
        appendIndented(text, form, lead.size() + program.size() + 1 + kFormContinuation);
    }
    text +=
        "PASSWORD: --password-file FILE, --password - or --password P.\n"
        "\n"
        "Without --headless the main window opens. With it the console runs without a\n"
        "window and writes every status row, notice, banner change and message to\n"
        "standard output until SIGINT or SIGTERM; a Set (--mac) or an upgrade\n"
        "(--archive) runs once and exits 0 when it succeeded, else 1. A bad argument\n"
        "exits 2 before anything is sent.\n"
        "\n"
        "Options (--name VALUE or --name=VALUE):\n";
    for (const HelpLine& line : kHelpLines) {
        std::string option = "  " + std::string(line.option);
        option.resize(kHelpColumn, ' ');
        text += option;
        appendIndented(text, line.text, kHelpColumn);
    }
    return text;
}

}  // namespace vantor
