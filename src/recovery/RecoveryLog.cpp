#include "recovery/RecoveryLog.h"

#include <array>
#include <cerrno>
#include <cstdio>

#include "base/PrintableText.h"
#include "hostnet/PrivilegeCheck.h"
#include "recovery/RecoveryService.h"

namespace vantor {
namespace {

std::string join(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (const std::string_view part : parts) {
        text += part;
    }
    return text;
}

}  // namespace

std::string RecoveryLog::addressInUse(std::string_view prefix) {
    return join({prefix, " IP: 192.168.0.100 already exist."});
}

std::string RecoveryLog::dhcpSocketFailed(std::string_view prefix) {
    return join({prefix, " Error: Can't create dhcp socket.\r\n"});
}

std::string RecoveryLog::portNotAllowed(std::string_view prefix, std::uint16_t port) {
    static constexpr std::array kBootPorts{Privilege::BootPorts};
    return join({prefix, " Error: Vantor is not allowed to use UDP port ", std::to_string(port),
                 " (permission denied). ", PrivilegeCheck::Remedy(kBootPorts), "\r\n"});
}

bool RecoveryLog::isPrivilegeError(int error) {
    return error == EACCES || error == EPERM;
}

std::string RecoveryLog::dhcpBroadcastRefused(std::string_view prefix) {
    return join({prefix, " Warning: Can't set broadcast option.\r\n"});
}

std::string RecoveryLog::dhcpReceiveError(std::string_view prefix) {
    return join({prefix, " Warning: Received dhcp package error.\r\n"});
}

std::string RecoveryLog::dhcpTooShort(std::string_view prefix) {
    return join({prefix, " Warning: Received dhcp package is too short.\r\n"});
}

std::string RecoveryLog::ignoringPacket(std::string_view macText) {
    return join({"Ignoring a packet from ", printableText(macText)});
}

std::string RecoveryLog::boardFound(std::string_view prefix, bool pxa) {
    return join({prefix, " ", pxa ? kPxaBoardFound : kOtherBoardFound});
}

std::string RecoveryLog::interfaceGone(std::string_view prefix, std::string_view address) {
    return join({prefix, " Error: The interface with the address ", address,
                 " is gone; it is served again once it is back.\r\n"});
}

std::string RecoveryLog::rivalDhcpServer(std::string_view prefix) {
    return join({prefix,
                 " Warning: Another DHCP server answers on this segment: a device may take its "
                 "offer instead of 192.168.0.100. Please disable it and try again.\r\n"});
}

std::string RecoveryLog::addressRequest(std::string_view prefix, std::string_view macText) {
    return join({prefix, " Received IP address request from ", printableText(macText), ".\r\n"});
}

std::string RecoveryLog::routeToolMissing(std::string_view prefix) {
    return join({prefix, " Warning: ip (iproute2) not found on the system.\r\n"});
}

std::string RecoveryLog::routeFailed(std::string_view prefix, std::string_view toolWords) {
    return join({prefix, " Warning: The route to the device was not added: ", toolWords, "\r\n"});
}

std::string RecoveryLog::arpEntryFailed(std::string_view prefix, std::string_view toolWords) {
    return join({prefix, " Warning: The ARP entry was not set: ", toolWords, "\r\n"});
}

std::string RecoveryLog::dhcpSendFailed(std::string_view prefix) {
    return join({prefix, " Error: Sending dhcp package error.\r\n"});
}

std::string RecoveryLog::assigningAddress(std::string_view prefix) {
    return join({prefix, " Assigning IP address...\r\n"});
}

std::string RecoveryLog::addressAssigned(std::string_view prefix) {
    return join({prefix, " Successfully assigned the new address\r\n"});
}

std::string RecoveryLog::assignedMac(std::string_view macText) {
    return join({">     MAC: ", printableText(macText), "\r\n"});
}

std::string RecoveryLog::assignedIp(std::string_view address) {
    return join({">     IP: ", address, "\r\n"});
}

std::string RecoveryLog::tftpListenSocketFailed(std::string_view prefix) {
    return join({prefix, " Error: Can't create tftp socket1.\r\n"});
}

std::string RecoveryLog::tftpReceiveError(std::string_view prefix) {
    return join({prefix, " Error: Received tftp package error.\r\n"});
}

std::string RecoveryLog::tftpSocketFailed(std::string_view prefix) {
    return join({prefix, " Error: Can't create tftp socket.\r\n"});
}

std::string RecoveryLog::tftpSendFailed(std::string_view prefix) {
    return join({prefix, " Error: Can't send a tftp reply packet.\r\n"});
}

std::string RecoveryLog::tftpBusy(std::string_view prefix, std::string_view clientAddress) {
    return join({prefix, " Warning: Too many transfers at once; the request from ", clientAddress,
                 " was refused (server busy).\r\n"});
}

std::string RecoveryLog::tftpRequest(std::string_view prefix, std::string_view fileName,
                                     std::string_view clientAddress) {
    return join({prefix, " Received a request of '", printableText(fileName), "' from ",
                 clientAddress, ".\r\n"});
}

std::string RecoveryLog::damagedImage(std::string_view prefix, std::string_view fileName,
                                      std::string_view problem) {
    return join({prefix, " Error: ", printableText(fileName), " is damaged (",
                 printableText(problem), "); it was not sent.\r\n"});
}

std::string RecoveryLog::fileNotFound(std::string_view prefix) {
    return join({prefix, " Error: File not found.\r\n"});
}

std::string RecoveryLog::fileLocationHint(std::string_view fileName) {
    // Only the kit's image names are served, from whichever folder the kit found them in;
    // no folder makes another name servable.
    std::string names;
    for (const std::string_view name : kBootImageNames) {
        names += names.empty() ? "" : ", ";
        names += name;
    }
    return join({"> \t'", printableText(fileName), "' must be one of the recovery kit's images (",
                 names, ")\r\n"});
}

std::string RecoveryLog::tftpErrorSendFailed(std::string_view prefix) {
    return join({prefix, " Error: Cannot send a tftp reply packet.\r\n"});
}

std::string RecoveryLog::transferStarted(std::string_view prefix, std::string_view fileName) {
    return join({prefix, " ", printableText(fileName), " being transfered...\r\n"});
}

std::string RecoveryLog::transferSocketError(std::string_view prefix) {
    return join({prefix, " Error: File transfer failed (socket error).\r\n"});
}

std::string RecoveryLog::transferNoResponse(std::string_view prefix) {
    return join({prefix, " Error: File transfer failed (no response from client).\r\n"});
}

std::string RecoveryLog::transferReadError(std::string_view prefix) {
    return join({prefix, " Error: File transfer failed (read error).\r\n"});
}

std::string RecoveryLog::transferCancelled(std::string_view prefix) {
    return join({prefix, " Error: File transfer failed (cancelled by client).\r\n"});
}

std::string RecoveryLog::transferCompleted(std::string_view prefix) {
    return join({prefix, " File transfer completed.\r\n"});
}

std::string RecoveryLog::restartWait(std::string_view prefix) {
    return join({prefix, " Please wait for the system to restart 10 seconds "});
}

std::string RecoveryLog::pingTest(std::string_view prefix, std::string_view address) {
    return join({prefix, " Testing Ping to ", address, ". Please wait.....\r\n"});
}

std::string RecoveryLog::pingSucceeded(std::string_view prefix) {
    return join({prefix, " Ping successful.\r\n"});
}

std::string RecoveryLog::pingTimedOut(std::string_view prefix) {
    return join({prefix, " Warning: Ping request time out.\r\n"});
}

std::string RecoveryLog::pingUnavailable(std::string_view prefix) {
    return join(
        {prefix, " Warning: Ping failed because the socket interface could not be found.\r\n"});
}

std::string RecoveryLog::repeated(std::string_view line, std::size_t count) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    return join(
        {line, " (repeated ", std::to_string(count), count == 1 ? " time)\r\n" : " times)\r\n"});
}

std::string RecoveryLog::foldedRows(std::string_view prefix, std::string_view peer,
                                    std::size_t count) {
    return join({prefix, " (", std::to_string(count), " more from ", printableText(peer), ")\r\n"});
}

std::string RecoveryLog::foldedRowsOfOtherPeers(std::string_view prefix, std::size_t count) {
    return join({prefix, " (", std::to_string(count), " more from other peers)\r\n"});
}

std::string RecoveryLog::tracePacketAddressed(std::string_view serverName) {
    return join({"Packet addressed to ", printableText(serverName)});
}

std::string RecoveryLog::traceNotProcessed(unsigned long threadId, int op) {
    return std::to_string(threadId) + " Request " + std::to_string(op) + " not processed";
}

std::string RecoveryLog::traceReceived(std::string_view typeName, std::string_view clientAddress,
                                       std::string_view macText) {
    return join({"Rcvd ", typeName, " Msg for IP ", clientAddress, ", Mac ", printableText(macText),
                 " \n\r"});
}

std::string RecoveryLog::traceRateLimited(std::string_view macText) {
    return join(
        {"Too many messages from ", printableText(macText), ": the rest of this second dropped\n"});
}

std::string RecoveryLog::traceSend(unsigned long threadId, std::size_t bytes) {
    std::array<char, 32> hex{};
    std::snprintf(hex.data(), hex.size(), "%lX", threadId);
    return "Thread 0x" + std::string(hex.data()) + ": send " + std::to_string(bytes) +
           " bytes \n\r";
}

std::string RecoveryLog::traceFileName(std::string_view fileName) {
    return join({"Filename:", printableText(fileName), "\n"});
}

std::string RecoveryLog::traceMode(std::string_view mode) {
    return join({"Mode:", printableText(mode), "\n"});
}

}  // namespace vantor
