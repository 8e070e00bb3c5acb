// Vantor: assigns addresses to monitoring devices, recovers them and upgrades their firmware.
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/DeviceWorkerFactory.h"
#include "base/Product.h"
#include "base/SystemInterfaceSource.h"
#include "console/HeardDevicesCsv.h"
#include "console/StatusLogFile.h"
#include "headless/ArgumentFiles.h"
#include "headless/CommandLine.h"
#include "headless/HeadlessFrontEnd.h"
#include "hostnet/NetworkAccess.h"
#include "recovery/BootImages.h"
#include "recovery/RecoveryKit.h"
#include "ui/WindowFrontEnd.h"

namespace {

constexpr int kUsageError = 2;

// What `--version` prints: enough for a support call to know which build an installer runs.
std::string versionText(const vantor::CommandLine& options) {
    const std::string kit = vantor::KitSearch::ForThisUser(options.bootImages).KitFolder();
    char oui[9];
    std::snprintf(oui, sizeof oui, "%02X-%02X-%02X", vantor::kDeviceOui[0], vantor::kDeviceOui[1],
                  vantor::kDeviceOui[2]);
    return "vantor " + std::string(vantor::kVersion) + "\ndevice OUI: " + oui + "\nboot images: " +
           (vantor::BootImages::ArePlaceholders()
                ? "placeholders (a device cannot boot them; see README)"
                : "embedded from VANTOR_BOOT_IMAGES_DIR") +
           "\nrecovery kit: " + (kit.empty() ? std::string("built in") : kit) + "\n" +
           vantor::NetworkAccess::VersionLine() + "\n";
}

// One line of why, and where to read more: the whole usage would bury the reason.
int refuse(const std::string& error) {
    std::cerr << "vantor: " << error << "\nTry 'vantor --help' for more information.\n";
    return kUsageError;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    auto parsed = vantor::CommandLine::parse(arguments);
    if (!parsed.options) {
        return refuse(parsed.error);
    }
    vantor::CommandLine& options = *parsed.options;
    if (options.action == vantor::CommandLine::Action::Help) {
        std::cout << vantor::CommandLine::usage("vantor");
        return 0;
    }
    if (options.action == vantor::CommandLine::Action::Version) {
        std::cout << versionText(options);
        return 0;
    }
    // Before any file of the operator's is read: the program keeps no capability, and the
    // helper that holds them starts now, before other threads.
    const auto network = vantor::NetworkAccess::ForThisProcess(vantor::Timings{});
    // The address list, the password and the archive are read before the console starts.
    if (const auto error = vantor::ArgumentFiles::resolve(options, std::cin, std::cerr)) {
        return refuse(*error);
    }
    // A FIFO, a folder or a device named for the log is the operator's mistake: said now, where
    // the default path would only cost a warning.
    if (const auto problem = vantor::StatusLogFile::pathProblem(options.logFile)) {
        return refuse("--log-file '" + options.logFile + "': " + *problem);
    }
    // Found out now rather than when the run ends, with every device's state lost.
    if (!options.devicesCsv.empty()) {
        if (const auto problem = vantor::HeardDevicesCsv::targetProblem(options.devicesCsv)) {
            return refuse("--devices-csv '" + options.devicesCsv + "': " + *problem);
        }
    }

    const auto logFile = std::make_unique<vantor::StatusLogFile>(
        options.logFile.empty() ? vantor::StatusLogFile::defaultPath() : options.logFile,
        std::cerr);
    vantor::SystemInterfaceSource interfaces;
    vantor::DeviceWorkerFactory workers(vantor::KitSearch::ForThisUser(options.bootImages));
    if (options.action == vantor::CommandLine::Action::Window) {
        return vantor::ui::runWindow(argc, argv, interfaces, workers, {}, logFile.get(),
                                     network.get());
    }
    vantor::HeadlessFrontEnd::blockTerminationSignals();
    vantor::HeadlessFrontEnd frontEnd(interfaces, workers, {}, logFile.get(), network.get());
    return frontEnd.run(options, std::cout);
}
