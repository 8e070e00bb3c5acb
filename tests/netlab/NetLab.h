#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "netlab/LabError.h"
#include "netlab/LabNamespace.h"

namespace vantor::netlab {

// A set of network namespaces joined by veth pairs, for tests that send beyond loopback or
// change ARP entries and routes. Everything it creates is removed again: by the destructor
// when a test ends (failed or not), by a handler when the process is interrupted (SIGINT,
// SIGTERM, SIGHUP, SIGQUIT), and otherwise (SIGKILL, a crash) by the sweep that every new lab
// runs once per process over namespaces left by processes that are gone. Namespaces are named
// "vantor-<pid>-<n>".
//
// Building a lab needs root (CAP_SYS_ADMIN and CAP_NET_ADMIN); without it the constructor's
// first namespace throws LabError saying so, and the test fails with that reason.
class NetLab {
  public:
    struct Link {
        std::string interfaceA;  // the veth end in the first namespace
        std::string interfaceB;  // its peer in the second
    };

    NetLab();
    ~NetLab();
    NetLab(const NetLab&) = delete;
    NetLab& operator=(const NetLab&) = delete;

    // A new namespace with its loopback interface up.
    LabNamespace& addNamespace();

    // A veth pair between a and b, both ends up, with the given addresses ("10.200.0.1/24";
    // empty for none).
    Link connect(LabNamespace& a, std::string_view addressA, LabNamespace& b,
                 std::string_view addressB);

    // Removes namespaces of this lab's naming whose process no longer exists.
    static void SweepStale();

  private:
    std::vector<std::unique_ptr<LabNamespace>> namespaces_;
};

}  // namespace vantor::netlab
