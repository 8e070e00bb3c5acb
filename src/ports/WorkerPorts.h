#pragma once

#include "base/Timings.h"
#include "hostnet/HostTools.h"
#include "hostnet/Pinger.h"
#include "net/UdpPortOpener.h"
#include "ports/ControlPanel.h"
#include "ports/HeardDevices.h"
#include "ports/InterfaceTable.h"
#include "ports/ReportPort.h"
#include "ports/RunGate.h"

namespace vantor {

// Everything a worker is handed: it reaches the rest of the program through these alone.
// They outlive every worker made with them.
struct WorkerPorts {
    ReportPort& report;
    RunGate& gate;
    ControlPanel& panel;
    InterfaceTable& interfaces;
    HostTools& tools;
    // Where the sockets of the DHCP and TFTP ports come from.
    UdpPortOpener& privilegedPorts;
    // Gives up at once, answering false, while the program closes.
    Pinger& pinger;
    const Timings& timings;
    // The devices the announcement listeners heard.
    HeardDevices& heard;
};

}  // namespace vantor
