#pragma once

#include <sys/types.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "netlab/LabNamespace.h"
#include "upgrade/TempDir.h"

namespace vantor::test {

// The device simulator program (tests/tools) running in the background inside a lab
// namespace. Every run is bounded by its --duration; stop() ends it earlier.
class DeviceSim {
  public:
    // args follow the program name: {"announce", "--mac", ...}. A --record file is added.
    DeviceSim(const netlab::LabNamespace& device, std::vector<std::string> args);
    ~DeviceSim();
    DeviceSim(const DeviceSim&) = delete;
    DeviceSim& operator=(const DeviceSim&) = delete;

    // What it recorded so far, one event a line ("ready", "sent", "notification FROM HEX",
    // "echo SOURCE DESTINATION SIZE", "adopted ADDRESS").
    std::vector<std::string> records() const;
    // The recorded lines that begin with word.
    std::vector<std::string> records(const std::string& word) const;
    // Waits for the program to end by itself.
    void wait();
    // Ends the program now and waits for it.
    void stop();
    // What the program printed.
    std::string output() const;

  private:
    TempDir directory_;
    std::string record_;
    std::mutex pidMutex_;
    pid_t pid_ = -1;  // while the program runs; guarded by pidMutex_
    std::jthread thread_;
};

}  // namespace vantor::test
