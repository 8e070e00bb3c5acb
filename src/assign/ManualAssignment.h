#pragma once

#include <string>

#include "ports/WorkerPorts.h"

namespace vantor {

// The Set button: gives a device the typed address by planting a static ARP entry that binds
// the address to the typed MAC, adding a host route through one interface after another and
// pinging until the device answers. The device, which need not have an address the PC can
// reach, takes the destination of the first echo request sent to its MAC as its own.
//
// Runs on the user-interface thread and blocks it for the whole run.
class ManualAssignment {
  public:
    explicit ManualAssignment(WorkerPorts& ports) : ports_(ports) {}

    // Returns true when the device took the address.
    bool OnSet();

  private:
    void log(const std::string& text);
    // Plants the entry and the route on one interface and pings; undoes both when nothing
    // answered.
    bool tryInterface(const std::string& ip, const std::string& mac,
                      const std::string& interfaceAddress);
    void reportSuccess(const std::string& ip, const std::string& mac);
    void ready();

    WorkerPorts ports_;
};

}  // namespace vantor
