#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantor {

// The texts the recovery boot service writes: status-log lines (the `prefix` argument is the
// interface prefix, ">" or "> [NIC a.b.c.d]"), the notice line and the diagnostic traces on
// standard output. The texts are the product's own, spelling included. Every argument that
// came from the network (file names, modes, sname, MAC texts, peers) is passed through
// printableText, so that a peer can neither forge rows nor drive the operator's terminal.
struct RecoveryLog {
    static constexpr std::string_view kListening = "\r\n> Listening.....\r\n";

    // Recovery listener.
    static std::string addressInUse(std::string_view prefix);  // no line end

    // DHCP/BOOTP responder.
    static std::string dhcpSocketFailed(std::string_view prefix);
    // A server port the kernel refused us for lack of privilege (EACCES), not because another
    // server holds it.
    static std::string portNotAllowed(std::string_view prefix, std::uint16_t port);
    static bool isPrivilegeError(int error);
    static constexpr std::string_view kDhcpServiceRunning =
        "A DHCP server service may be runing on this PC.\n";
    static constexpr std::string_view kDhcpDisableService =
        "Please disable the service and try again.\n";
    static std::string dhcpBroadcastRefused(std::string_view prefix);
    static std::string dhcpReceiveError(std::string_view prefix);
    static std::string dhcpTooShort(std::string_view prefix);
    static std::string ignoringPacket(std::string_view macText);  // the notice line
    static constexpr std::string_view kPxaBoardFound = "Intel Found!";
    static constexpr std::string_view kOtherBoardFound = "Motorolla Found!";
    // The board type a request announced, with the interface prefix; no line end.
    static std::string boardFound(std::string_view prefix, bool pxa);
    // The interface address vanished before its DHCP socket could be made.
    static std::string interfaceGone(std::string_view prefix, std::string_view address);
    // Another process took up the DHCP server port on this interface while we serve it.
    static std::string rivalDhcpServer(std::string_view prefix);
    static std::string addressRequest(std::string_view prefix, std::string_view macText);
    static std::string routeToolMissing(std::string_view prefix);
    // A route or ARP change the tool refused, in the tool's words (already printable).
    static std::string routeFailed(std::string_view prefix, std::string_view toolWords);
    static std::string arpEntryFailed(std::string_view prefix, std::string_view toolWords);
    static std::string dhcpSendFailed(std::string_view prefix);
    static std::string assigningAddress(std::string_view prefix);
    static std::string addressAssigned(std::string_view prefix);
    static std::string assignedMac(std::string_view macText);
    static std::string assignedIp(std::string_view address);

    // TFTP server.
    static std::string tftpListenSocketFailed(std::string_view prefix);
    static std::string tftpReceiveError(std::string_view prefix);
    static std::string tftpSocketFailed(std::string_view prefix);
    static std::string tftpSendFailed(std::string_view prefix);
    // A read request refused because the interface serves as many transfers as it may.
    static std::string tftpBusy(std::string_view prefix, std::string_view clientAddress);
    static std::string tftpRequest(std::string_view prefix, std::string_view fileName,
                                   std::string_view clientAddress);
    static std::string fileNotFound(std::string_view prefix);
    // A request for an image that failed its check, and why.
    static std::string damagedImage(std::string_view prefix, std::string_view fileName,
                                    std::string_view problem);
    static std::string fileLocationHint(std::string_view fileName);
    static std::string tftpErrorSendFailed(std::string_view prefix);
    static std::string transferStarted(std::string_view prefix, std::string_view fileName);
    static std::string transferSocketError(std::string_view prefix);
    static std::string transferNoResponse(std::string_view prefix);
    static std::string transferReadError(std::string_view prefix);
    static std::string transferCancelled(std::string_view prefix);
    static std::string transferCompleted(std::string_view prefix);
    static std::string restartWait(std::string_view prefix);  // no line end
    static constexpr std::string_view kLineEnd = "\r\n";
    static std::string pingTest(std::string_view prefix, std::string_view address);
    static std::string pingSucceeded(std::string_view prefix);
    static std::string pingTimedOut(std::string_view prefix);
    static std::string pingUnavailable(std::string_view prefix);
    // A warning row that came `count` more times within a second, e.g.
    // "> Warning: Received dhcp package is too short. (repeated 12 times)\r\n".
    static std::string repeated(std::string_view line, std::size_t count);
    // The row groups of one peer (its address or MAC text) that were only counted, e.g.
    // "> (37 more from 10.77.1.2)\r\n".
    static std::string foldedRows(std::string_view prefix, std::string_view peer,
                                  std::size_t count);
    // Those of peers beyond the bound over all peers: "> (37 more from other peers)\r\n".
    static std::string foldedRowsOfOtherPeers(std::string_view prefix, std::size_t count);

    // Diagnostic traces (standard output).
    static std::string tracePacketAddressed(std::string_view serverName);
    static std::string traceNotProcessed(unsigned long threadId, int op);
    static std::string traceReceived(std::string_view typeName, std::string_view clientAddress,
                                     std::string_view macText);
    static std::string traceRateLimited(std::string_view macText);
    static std::string traceSend(unsigned long threadId, std::size_t bytes);
    static constexpr std::string_view kTraceResetTftp = "Reset Tftp \n";
    static std::string traceFileName(std::string_view fileName);
    static std::string traceMode(std::string_view mode);
    static constexpr std::string_view kTraceRepeatedRequest =
        "Repeated request of the transfer just ended ignored\n";
    static constexpr std::string_view kTraceRestartAlreadyAwaited =
        "Restart of this device already awaited, or too many awaited\n";
    static constexpr std::string_view kTraceOptionsRefused = "Client refused the options\n";
    static constexpr std::string_view kTraceReceiveTimeout = "Tick :Receive ACK Timeout!\n";
};

}  // namespace vantor
