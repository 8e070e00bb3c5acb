#include "assign/ManualAssignment.h"

#include "console/Constants.h"
#include "console/OperatorConsole.h"

namespace vantor {

namespace {

constexpr std::string_view kTryAutomatic = "> Try using the automatic mode\r\n";
constexpr std::string_view kReady = "> Ready\r\n\r\n";

}  // namespace

void ManualAssignment::log(const std::string& text) {
    console_.AppendStatus(tagOf(ConsoleMode::Manual), text);
}

void ManualAssignment::ready() {
    log(std::string(kReady));
    console_.EnableControl(ControlId::SetButton, true);
}

bool ManualAssignment::OnSet() {
    console_.RefreshInterfaces();
    if (console_.interfaceCount() == 0) {
        log("> Error: No NIC found on this machine\r\n");
        return false;
    }
    if (!console_.winsockReady.load()) {
        log("> Error: A compatible version of WinSock1.1 not found\r\n");
        log(std::string(kTryAutomatic));
        return false;
    }
    std::string toolPath;
    if (!console_.LocateSystemTool(ToolKind::Arp, toolPath)) {
        log("> Error: ARP command not found\r\n");
        log(std::string(kTryAutomatic));
        return false;
    }
    if (!console_.LocateSystemTool(ToolKind::Route, toolPath)) {
        // Without routes the ARP entry alone has to steer the echo requests to the device,
        // which works only for an address on one of the PC's own subnets.
        log("> Warning: ROUTE command not found. Vantor may not work properly.\r\n");
    }
    if (!console_.IsValidMac()) {
        log("> Error: Invalid MAC address\r\n");
        log(std::string(kReady));
        return false;
    }
    if (!console_.IsValidDeviceIp()) {
        log("> Error: Invalid IP address\r\n");
        log(std::string(kReady));
        return false;
    }

    console_.EnableControl(ControlId::SetButton, false);
    const std::string ip = console_.GetIpText();
    log("Checking for an existing IP at " + ip + "\r\n");
    // A stale entry could steer the test to a device that no longer has the address.
    console_.ArpDelete(ip);
    if (console_.PingHost(ip, kManualCheckAttempts, kManualCheckDataSize)) {
        log("> " + ip + " is already in used\r\n");
        ready();
        return false;
    }
    console_.ArpDelete(ip);

    const std::string mac = console_.GetMacText();
    bool assigned = false;
    for (const std::string& interfaceAddress : console_.interfaceAddresses()) {
        if (console_.closing()) {
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
    console_.ArpAdd(ip, mac, interfaceAddress);
    console_.RouteAdd(ip, interfaceAddress);
    if (console_.PingHost(ip, kManualTestAttempts, kManualTestDataSize)) {
        // The device answers from its new address now; the planted entry has done its work
        // and would otherwise pin the address to the MAC for good. The route stays, so that
        // the device's web page can be reached through this interface.
        console_.ArpDelete("*");
        return true;
    }
    console_.RouteDelete(ip);
    console_.ArpDelete(ip);
    return false;
}

void ManualAssignment::reportSuccess(const std::string& ip, const std::string& mac) {
    log("> Successfully assigned the new address\r\n");
    log(">     MAC: " + mac + "\r\n");
    log(">     IP: " + ip + "\r\n");
    console_.setServerIP(ip);
    console_.SetBannerState(BannerState::DeviceReady);
    if (console_.IsChecked(ControlId::ClearCheck)) {
        // Ready for the next device of the same maker: only its own three octets are left to
        // type, and the focus waits in the first of them.
        console_.ClearIpFields();
        console_.ClearMacFields();
        console_.PrefillMacOui();
    }
}

}  // namespace vantor
