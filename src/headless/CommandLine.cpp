#include "headless/CommandLine.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <utility>

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
    const std::string p(program);
    return "Usage:\n"
           "  " +
           p +
           "                     open the main window\n"
           "  " +
           p +
           " --headless [--mode auto|manual|recovery|firmware]\n"
           "                            run without a window until SIGINT or SIGTERM\n"
           "  " +
           p +
           " --headless --mode manual --mac XX-XX-XX-XX-XX-XX --ip A.B.C.D\n"
           "                            give a device an address once; exit 0 when it took it\n"
           "                            (the MAC may also be written xx:xx:xx:xx:xx:xx)\n"
           "  " +
           p +
           " --headless --mode firmware --ip A.B.C.D --password-file FILE\n"
           "         --archive F.zip [--one-page]\n"
           "                            upgrade a device once; exit 0 when it completed\n"
           "                            --password-file FILE: the device's password, first line\n"
           "                            --password -: the device's password, read from standard\n"
           "                            input; --password P: visible to every user (ps)\n"
           "  " +
           p +
           " --version        show the version and how the program was built\n"
           "  " +
           p +
           " --headless --mode firmware --ip A --ip B ... | --ip-list FILE\n"
           "         --password-file FILE --archive F.zip [--parallel N] [--one-page]\n"
           "                            upgrade several devices, N at a time (default 4, at\n"
           "                            most 16); exit 0 when every one completed\n"
           "  " +
           p +
           " --help              show this text\n"
           "\n"
           "  --log-file PATH           append the status log there rather than to\n"
           "                            $XDG_STATE_HOME/vantor/vantor.log\n"
           "  --boot-images DIR         the recovery kit: the device maker's boot images\n"
           "                            and kit.conf (before $XDG_DATA_HOME/vantor/images,\n"
           "                            /usr/local/share/vantor/images, /usr/share/vantor/images)\n"
           "  --every-device            auto: take every device that announces\n"
           "  --devices-csv FILE        auto: write the devices heard to FILE (CSV) at the end\n"
           "\n"
           "In headless mode every status row, notice, banner change and message is written to\n"
           "standard output. A bad argument exits 2 before anything is sent.\n";
}

}  // namespace vantor
