// The BOOTP/DHCP responder of a recovery listener: its receive loop on the DHCP thread.
#include <unistd.h>

#include <array>
#include <chrono>
#include <thread>

#include "base/Ipv4.h"
#include "net/CTimedSocket.h"
#include "ports/ConsoleMode.h"
#include "recovery/DhcpMessage.h"
#include "recovery/DhcpWire.h"
#include "recovery/MRecoveryListener.h"
#include "recovery/RecoveryLog.h"

namespace vantor {

namespace {

unsigned long threadNumber() {
    return static_cast<unsigned long>(::gettid());
}

std::array<std::uint8_t, 4> octetsOf(std::uint32_t networkOrder) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&networkOrder);
    return {bytes[0], bytes[1], bytes[2], bytes[3]};
}

}  // namespace

void MRecoveryListener::DoDHCP() {
    DhcpResponder responder(nicAddress, DhcpResponder::ServerNameFor(ports_.interfaces.hostName()));
    offeredAddress = responder.offeredAddress();

    // Bound to the interface rather than to its address: DISCOVERs are broadcast, and the
    // broadcast replies must leave by this interface.
    CTimedSocket socket;
    // Alone: another DHCP server sharing the port (SO_REUSEADDR) would answer the device too.
    if (!socket.CreateOnInterfaceAlone(nicAddress, kDhcpServerPort,
                                       ports_.timings.portHolderPatience)) {
        log(RecoveryLog::dhcpSocketFailed(prefix_));
        if (RecoveryLog::isPrivilegeError(socket.lastError())) {
            log(RecoveryLog::portNotAllowed(prefix_, kDhcpServerPort));
        } else {
            log(RecoveryLog::kDhcpServiceRunning);
            log(RecoveryLog::kDhcpDisableService);
        }
        ports_.gate.allowRestart(true);
        return;
    }
    if (!socket.SetBroadcast(true)) {
        log(RecoveryLog::dhcpBroadcastRefused(prefix_));
        ports_.gate.allowRestart(true);
        return;
    }
    const Publication published(*this, dhcpSocket, socket);

    std::array<std::uint8_t, kDhcpReceiveSize> buffer{};
    std::chrono::steady_clock::time_point nextShortPause{};
    while (dhcpRunning) {
        buffer.fill(0);
        const SocketResult received = socket.ReceiveWithTimeout(buffer);
        if (!received.ok()) {
            if (!dhcpRunning) {
                break;
            }
            logFailure(RecoveryLog::dhcpReceiveError(prefix_));
            continue;
        }
        const DhcpDecision decision = responder.Evaluate(
            std::span<const std::uint8_t>(buffer.data(), received.length), received.peer);
        switch (decision.verdict) {
            case DhcpVerdict::tooShort: {
                logFailure(RecoveryLog::dhcpTooShort(prefix_));
                // The pause is spaced out: paused after every one, a flood of short
                // datagrams would hold real requests off until the socket's queue overflows
                // and drops them.
                const auto now = std::chrono::steady_clock::now();
                if (now >= nextShortPause) {
                    std::this_thread::sleep_for(ports_.timings.dhcpShortPause);
                    nextShortPause = now + ports_.timings.dhcpShortPauseSpacing;
                }
                continue;
            }
            case DhcpVerdict::otherServer:
                Trace(RecoveryLog::tracePacketAddressed(decision.serverName));
                continue;
            case DhcpVerdict::notRequest:
                Trace(RecoveryLog::traceNotProcessed(threadNumber(), decision.op));
                continue;
            case DhcpVerdict::foreignClient:
                ports_.report.setNoticeLine(RecoveryLog::ignoringPacket(decision.macText));
                continue;
            case DhcpVerdict::noReply:
            case DhcpVerdict::reply:
                break;
        }
        ports_.report.setNoticeLine("");
        if (decision.board == BoardType::pxa) {
            log(RecoveryLog::kPxaBoardFound);
        } else if (decision.board == BoardType::other) {
            log(RecoveryLog::kOtherBoardFound);
        }
        Trace(RecoveryLog::traceReceived(DhcpMessage::MessageTypeName(decision.messageType),
                                         Ipv4::format(decision.clientAddress), decision.macText));
        if (decision.verdict == DhcpVerdict::reply) {
            replyToBootRequest(socket, decision);
        }
    }
}

void MRecoveryListener::replyToBootRequest(CTimedSocket& socket, const DhcpDecision& decision) {
    const bool offer = decision.replyType == kDhcpOffer;
    const std::string offered = Ipv4::format(offeredAddress);
    // Rows are written one group at a time, never across the pause, the route and ARP tools
    // or the send: a reply must not wait for another listener's rows, nor theirs for it.
    if (offer) {
        Trace(RecoveryLog::traceSend(threadNumber(), kDhcpReplySize));
        log(RecoveryLog::addressRequest(prefix_, decision.macText));
    }
    // A device that asks again has restarted its boot: whatever it was fetching is dead. The
    // pause lets an aborted transfer end before the device is answered; with none running,
    // the answer goes out at once.
    if (abortTransfer()) {
        Trace(RecoveryLog::kTraceResetTftp);
        std::this_thread::sleep_for(ports_.timings.tftpAbortPause);
    }

    if (!offer) {
        // From now on the device is being served; its RAM disk ends that.
        ports_.gate.allowRestart(false);
        // The device may sit on another subnet than this interface: reach it through here,
        // whichever interface served the last device before.
        ports_.tools.RouteDelete(offered);
        logRouteResult(ports_.tools.RouteAdd(offered, nicText_));
    }
    if (!decision.destination.broadcast) {
        // A client that already has an address is answered by unicast; the static entry lets
        // the offered address resolve to it before it has taken that address.
        ports_.tools.ArpDelete(offered);
        if (const ToolResult entry = ports_.tools.ArpAdd(offered, decision.macText, nicText_);
            !entry.succeeded()) {
            log(RecoveryLog::arpEntryFailed(prefix_, entry.failure));
        }
    }
    const SocketResult sent = socket.SendTo(decision.reply, decision.destination.to);
    if (!sent.ok() || sent.length != kDhcpReplySize) {
        {
            const LogGroup group = ports_.report.logGroup();
            log(RecoveryLog::dhcpSendFailed(prefix_));
            log(RecoveryLog::kListening);
        }
        ports_.gate.allowRestart(true);
        return;
    }
    if (offer) {
        log(RecoveryLog::assigningAddress(prefix_));
        return;
    }
    {
        const LogGroup group = ports_.report.logGroup();
        log(RecoveryLog::addressAssigned(prefix_));
        log(RecoveryLog::assignedMac(decision.macText));
        log(RecoveryLog::assignedIp(offered));
    }
    ports_.report.setBannerState(BannerState::Instructions);
    ports_.report.showDeviceIp(octetsOf(offeredAddress));
    ports_.report.showDeviceMac(decision.mac);
}

bool MRecoveryListener::abortTransfer() {
    // The flag first: the transfer loop looks at it when its receive returns.
    const bool aborted = transferActive.exchange(false);
    const std::lock_guard lock(socketLock_);
    if (tftpTransmitSocket != nullptr) {
        tftpTransmitSocket->ClearReceiveTimeout();
        tftpTransmitSocket->CancelBlockingCall();
    }
    return aborted;
}

}  // namespace vantor
