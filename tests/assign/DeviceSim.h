#pragma once

#include <string>
#include <thread>
#include <vector>

#include "netlab/LabNamespace.h"
#include "upgrade/TempDir.h"

namespace vantor::test {

// The device simulator program (tests/tools) running in the background inside a lab
// namespace. Every run is bounded by its --duration; the destructor waits for the end.
class DeviceSim {
  public:
    // args follow the program name: {"announce", "--mac", ...}. A --record file is added.
    DeviceSim(const netlab::LabNamespace& device, std::vector<std::string> args);
    ~DeviceSim();
    DeviceSim(const DeviceSim&) = delete;
    DeviceSim& operator=(const DeviceSim&) = delete;

    // What it recorded so far, one event a line ("sent", "notification FROM HEX", "echo
    // SOURCE DESTINATION SIZE", "adopted ADDRESS").
    std::vector<std::string> records() const;
    // The recorded lines that begin with word.
    std::vector<std::string> records(const std::string& word) const;
    // Waits for the program to end; its exit code.
    int wait();

  private:
    TempDir directory_;
    std::string record_;
    int exitCode_ = -1;
    std::string output_;
    std::jthread thread_;
};

}  // namespace vantor::test
