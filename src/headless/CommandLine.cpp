#include "headless/CommandLine.h"

#include <charconv>

#include "ports/BatchUpgrader.h"

namespace vantor {

namespace {

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

ParsedCommandLine CommandLine::parse(const std::vector<std::string_view>& arguments) {
    CommandLine result;
    bool headless = false;
    bool modeGiven = false;
    bool onePageGiven = false;
    std::optional<std::string> mac, ip, password, archive, ipList, parallelText;
    std::vector<std::string> ips;  // every --ip, in order

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
        if (name == "--headless" && !inlineValue) {
            headless = true;
        } else if (name == "--one-page" && !inlineValue) {
            onePageGiven = true;
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
        } else if (name == "--ip-list" || name == "--parallel") {
            if (auto error = take(name == "--ip-list" ? ipList : parallelText)) {
                return refuse(*error);
            }
        } else if (name == "--mac" || name == "--password" || name == "--archive") {
            auto& slot = name == "--mac" ? mac : name == "--password" ? password : archive;
            if (auto error = take(slot)) {
                return refuse(*error);
            }
        } else {
            return refuse("unknown argument '" + std::string(arg) + "'");
        }
    }

    const bool anyOption =
        modeGiven || onePageGiven || mac || ip || password || archive || ipList || parallelText;
    if (!headless) {
        if (anyOption) {
            return refuse("options other than --help need --headless");
        }
        return {result, {}};
    }
    result.action = Action::Run;
    const bool setOptions = mac.has_value();
    const bool batchOptions = ips.size() > 1 || ipList || parallelText;
    const bool updateOptions = password || archive || onePageGiven || batchOptions;
    if (setOptions && updateOptions) {
        return refuse("--mac cannot be combined with --password, --archive or --one-page");
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
        if (!password || !archive) {
            return refuse("a batch upgrade needs --password and --archive");
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
            return refuse("--ip, --password, --archive and --one-page need --mode firmware");
        }
        if (!ip || !password || !archive) {
            return refuse("an Update needs --ip, --password and --archive");
        }
        result.action = Action::Update;
    }
    result.mac = mac.value_or("");
    result.ip = ip.value_or("");
    result.password = password.value_or("");
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
           "  " +
           p +
           " --headless --mode firmware --ip A.B.C.D --password P --archive F.zip\n"
           "         [--one-page]       upgrade a device once; exit 0 when it completed\n"
           "  " +
           p +
           " --headless --mode firmware --ip A --ip B ... | --ip-list FILE\n"
           "         --password P --archive F.zip [--parallel N] [--one-page]\n"
           "                            upgrade several devices, N at a time (default 4, at\n"
           "                            most 16); exit 0 when every one completed\n"
           "  " +
           p +
           " --help              show this text\n"
           "\n"
           "In headless mode every status row, notice, banner change and message is written to\n"
           "standard output.\n";
}

}  // namespace vantor
