#include "assign/DeviceSim.h"

#include <fstream>

#include "netlab/LabCommand.h"

namespace vantor::test {

DeviceSim::DeviceSim(const netlab::LabNamespace& device, std::vector<std::string> args)
    : record_(directory_.file("record")) {
    std::vector<std::string> argv{VANTOR_DEVICE_SIM};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.insert(argv.end(), {"--record", record_});
    thread_ = device.start([this, argv](const std::stop_token&) {
        const netlab::CommandResult result = netlab::LabCommand::Run(argv);
        exitCode_ = result.exitCode;
        output_ = result.output;
    });
}

DeviceSim::~DeviceSim() {
    wait();
}

int DeviceSim::wait() {
    if (thread_.joinable()) {
        thread_.join();
    }
    return exitCode_;
}

std::vector<std::string> DeviceSim::records() const {
    std::vector<std::string> lines;
    std::ifstream in(record_);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> DeviceSim::records(const std::string& word) const {
    std::vector<std::string> matching;
    for (const std::string& line : records()) {
        if (line.rfind(word, 0) == 0) {
            matching.push_back(line);
        }
    }
    return matching;
}

}  // namespace vantor::test
