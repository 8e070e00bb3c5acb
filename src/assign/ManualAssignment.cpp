#include "assign/ManualAssignment.h"

#include "assign/AssignEchoes.h"

namespace vantor {

namespace {

constexpr std::string_view kTryAutomatic = "> Try using the automatic mode\r\n";
constexpr std::string_view kReady = "> Ready\r\n\r\n";

}  // namespace

void ManualAssignment::log(const std::string& text) {
    ports_.report.appendStatus(tagOf(ConsoleMode::Manual), text);
}

void ManualAssignment::ready() {
    log(std::string(kReady));
    ports_.panel.enable(ControlId::SetButton, true);
}

bool ManualAssignment::OnSet() {
    ports_.interfaces.refresh();
    if (ports_.interfaces.count() == 0) {
        log("> Error: No NIC found on this machine\r\n");
        return false;
    }
    if (!ports_.gate.winsockReady()) {
        log("> Error: A compatible version of the socket interface not found\r\n");
        log(std::string(kTryAutomatic));
        return false;
    }
    std::string toolPath;
    if (!ports_.tools.LocateSystemTool(ToolKind::Arp, toolPath)) {
        log("> Error: ARP command not found\r\n");
        log(std::string(kTryAutomatic));
        return false;
    }
    if (!ports_.tools.LocateSystemTool(ToolKind::Route, toolPath)) {
        // Without routes the ARP entry alone has to steer the echo requests to the device,
        // which works only for an address on one of the PC's own subnets.
        log("> Warning: ROUTE command not found. Vantor may not work properly.\r\n");
    }
    if (!ports_.panel.validMac()) {
        log("> Error: Invalid MAC address\r\n");
        log(std::string(kReady));
        return false;
    }
    if (!ports_.panel.validDeviceIp()) {
        log("> Error: Invalid IP address\r\n");
        log(std::string(kReady));
        return false;
    }

    ports_.panel.enable(ControlId::SetButton, false);
    const std::string ip = ports_.panel.ipText();
    log("Checking for an existing IP at " + ip + "\r\n");
    // A stale entry could steer the test to a device that no longer has the address.
    ports_.tools.ArpDelete(ip);
    if (ports_.pinger.PingHost(ip, kManualCheckAttempts, kManualCheckDataSize)) {
        log("> " + ip + " is already in used\r\n");
        ready();
        return false;
    }
    ports_.tools.ArpDelete(ip);

    const std::string mac = ports_.panel.macText();
    bool assigned = false;
    for (const std::string& interfaceAddress : ports_.interfaces.addresses()) {
        if (ports_.gate.closing()) {
            break;
        }
        if (tryInterface(ip, mac, interfaceAddress)) {
            assigned = true;
            break;
        }
    }
    if (assigned) {
        reportSuccess(ip, mac);
    } else {
        log("> Error: Setting IP failed\r\n");
    }
    ready();
    return assigned;
}

bool ManualAssignment::tryInterface(const std::string& ip, const std::string& mac,
                                    const std::string& interfaceAddress) {
    // Which interface is being tried tells the operator of a PC with several where the
    // device was found, or that each of them was tried.
    log("> Using Ethernet adapter: " + interfaceAddress + "\r\n");
    if (const ToolResult entry = ports_.tools.ArpAdd(ip, mac, interfaceAddress);
        !entry.succeeded()) {
        log("> Warning: The ARP entry was not set: " + entry.failure + "\r\n");
    }
    if (const ToolResult route = ports_.tools.RouteAdd(ip, interfaceAddress);
        !route.succeeded() && !route.toolNotFound()) {
        // A missing route tool was reported before the run began.
        log("> Warning: The route was not added: " + route.failure + "\r\n");
    }
    if (ports_.pinger.PingHost(ip, kManualTestAttempts, kManualTestDataSize)) {
        // The device answers from its new address now; the planted entry has done its work
        // and would otherwise pin the address to the MAC for good. Only that entry goes: the
        // administrator's own entries stay. The route stays, so that the device's web page
        // can be reached through this interface.
        ports_.tools.ArpDeleteOn(ip, interfaceAddress);
        ports_.tools.Keep(ip);
        return true;
    }
    ports_.tools.RouteDelete(ip);
    ports_.tools.ArpDelete(ip);
    return false;
}

void ManualAssignment::reportSuccess(const std::string& ip, const std::string& mac) {
    log("> Successfully assigned the new address\r\n");
    log(">     MAC: " + mac + "\r\n");
    log(">     IP: " + ip + "\r\n");
    ports_.report.setServerAddress(ip);
    ports_.report.setBannerState(BannerState::DeviceReady);
    if (ports_.panel.checked(ControlId::ClearCheck)) {
        // Ready for the next device of the same maker: only its own three octets are left to
        // type, and the focus waits in the first of them.
        ports_.panel.clearIpFields();
        ports_.panel.clearMacFields();
        ports_.panel.prefillMacOui();
    }
}

}  // namespace vantor
