// Vantor: assigns addresses to monitoring devices, recovers them and upgrades their firmware.
#include <iostream>
#include <string_view>
#include <vector>

#include "app/DeviceWorkerFactory.h"
#include "base/SystemInterfaceSource.h"
#include "headless/CommandLine.h"
#include "headless/HeadlessFrontEnd.h"
#include "ui/WindowFrontEnd.h"

int main(int argc, char** argv) {
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    const auto parsed = vantor::CommandLine::parse(arguments);
    if (!parsed.options) {
        std::cerr << "vantor: " << parsed.error << "\n\n" << vantor::CommandLine::usage("vantor");
        return 2;
    }
    const vantor::CommandLine& options = *parsed.options;
    if (options.action == vantor::CommandLine::Action::Help) {
        std::cout << vantor::CommandLine::usage("vantor");
        return 0;
    }

    vantor::SystemInterfaceSource interfaces;
    vantor::DeviceWorkerFactory workers;
    if (options.action == vantor::CommandLine::Action::Window) {
        return vantor::ui::runWindow(argc, argv, interfaces, workers);
    }
    vantor::HeadlessFrontEnd::blockTerminationSignals();
    vantor::HeadlessFrontEnd frontEnd(interfaces, workers);
    return frontEnd.run(options, std::cout);
}
