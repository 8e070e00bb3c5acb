#pragma once

#include <string_view>

#include "netlab/NetLab.h"

namespace vantor::netlab {

// The shape of every lab the console's tests build: a PC namespace, where the console runs,
// and device namespaces, each joined to the PC by a veth pair of its own (so each device is
// behind an interface of the PC's, as on an installer's laptop with several adapters).
class PcLab {
  public:
    struct Device {
        LabNamespace& space;
        NetLab::Link link;  // interfaceA: the PC's end, interfaceB: the device's
    };

    PcLab() : pc(lab.addNamespace()) {}

    // A new device namespace joined to the PC: the PC's end gets pcAddress and the device's
    // end deviceAddress ("10.0.1.1/24"; empty for none).
    Device addDevice(std::string_view pcAddress, std::string_view deviceAddress) {
        LabNamespace& space = lab.addNamespace();
        const NetLab::Link link = lab.connect(pc, pcAddress, space, deviceAddress);
        return {space, link};
    }

    NetLab lab;
    LabNamespace& pc;
};

// A PC with two interfaces on two subnets, each with a device at its far end:
//   pc veth0 10.0.1.1/24 -- deviceA veth0 10.0.1.2/24
//   pc veth1 10.0.2.1/24 -- deviceB veth0 10.0.2.2/24
struct TwoSubnetLab : PcLab {
    LabNamespace& deviceA = addDevice("10.0.1.1/24", "10.0.1.2/24").space;
    LabNamespace& deviceB = addDevice("10.0.2.1/24", "10.0.2.2/24").space;
};

}  // namespace vantor::netlab
