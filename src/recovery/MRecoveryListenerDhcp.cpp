// The BOOTP/DHCP responder of a recovery listener: its receive loop on the DHCP thread.
#include <unistd.h>

#include <array>
#include <chrono>
#include <thread>

#include "console/ConsoleMode.h"
#include "console/Constants.h"
#include "console/Ipv4.h"
#include "console/OperatorConsole.h"
#include "console/SystemInterfaceSource.h"
#include "recovery/CTimedSocket.h"
#include "recovery/DhcpMessage.h"
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
    DhcpResponder responder(nicAddress,
                            DhcpResponder::ServerNameFor(SystemInterfaceSource().hostName()));
    bootFileName = responder.bootFileName();
    offeredAddress = responder.offeredAddress();

    // Bound to the interface rather than to its address: DISCOVERs are broadcast, and the
    // broadcast replies must leave by this interface.
    CTimedSocket socket;
    if (!socket.CreateOnInterface(nicAddress, kDhcpServerPort)) {
        log(RecoveryLog::dhcpSocketFailed(prefix_));
        log(RecoveryLog::kDhcpServiceRunning);
        log(RecoveryLog::kDhcpDisableService);
        owner.restartAllowed = true;
        return;
    }
    if (!socket.SetBroadcast(true)) {
        log(RecoveryLog::dhcpBroadcastRefused(prefix_));
        owner.restartAllowed = true;
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
        bootFileName = responder.bootFileName();
        switch (decision.verdict) {
            case DhcpVerdict::tooShort: {
                logFailure(RecoveryLog::dhcpTooShort(prefix_));
                // The pause is spaced out: paused after every one, a flood of short
                // datagrams would hold real requests off until the socket's queue overflows
                // and drops them.
                const auto now = std::chrono::steady_clock::now();
                if (now >= nextShortPause) {
                    std::this_thread::sleep_for(owner.timings().dhcpShortPause);
                    nextShortPause = now + owner.timings().dhcpShortPauseSpacing;
                }
                continue;
            }
            case DhcpVerdict::otherServer:
                Trace(RecoveryLog::tracePacketAddressed(decision.serverName));
                continue;
            case DhcpVerdict::notRequest:
                Trace(RecoveryLog::traceNotProcessed(threadNumber(), decision.op));
                continue;
            case DhcpVerdict::foreignClient: {
                const std::lock_guard fields(owner.fieldLock);
                owner.SetNoticeLine(RecoveryLog::ignoringPacket(decision.macText));
                continue;
            }
            case DhcpVerdict::noReply:
            case DhcpVerdict::reply:
                break;
        }
        {
            const std::lock_guard fields(owner.fieldLock);
            owner.SetNoticeLine("");
        }
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
    const std::lock_guard group(owner.logLock);
    if (offer) {
        Trace(RecoveryLog::traceSend(threadNumber(), kDhcpReplySize));
        log(RecoveryLog::addressRequest(prefix_, decision.macText));
    }
    // A device that asks again has restarted its boot: whatever it was fetching is dead.
    abortTransfer();
    Trace(RecoveryLog::kTraceResetTftp);
    std::this_thread::sleep_for(owner.timings().tftpAbortPause);

    if (!offer) {
        // From now on the device is being served; its RAM disk ends that.
        owner.restartAllowed = false;
        // The device may sit on another subnet than this interface: reach it through here,
        // whichever interface served the last device before.
        owner.RouteDelete(offered);
        if (!owner.RouteAdd(offered, nicText_)) {
            log(RecoveryLog::routeToolMissing(prefix_));
        }
    }
    if (!decision.destination.broadcast) {
        // A client that already has an address is answered by unicast; the static entry lets
        // the offered address resolve to it before it has taken that address.
        owner.ArpDelete(offered);
        owner.ArpAdd(offered, decision.macText, nicText_);
    }
    const SocketResult sent = socket.SendTo(decision.reply, decision.destination.to);
    if (!sent.ok() || sent.length != kDhcpReplySize) {
        log(RecoveryLog::dhcpSendFailed(prefix_));
        log(RecoveryLog::kListening);
        owner.restartAllowed = true;
        return;
    }
    if (offer) {
        log(RecoveryLog::assigningAddress(prefix_));
        return;
    }
    log(RecoveryLog::addressAssigned(prefix_));
    log(RecoveryLog::assignedMac(decision.macText));
    log(RecoveryLog::assignedIp(offered));
    owner.SetBannerState(BannerState::Instructions);
    owner.SetIpFields(octetsOf(offeredAddress));
    owner.SetMacFields(decision.mac);
}

void MRecoveryListener::abortTransfer() {
    // The flag first: the transfer loop looks at it when its receive returns.
    transferActive = false;
    const std::lock_guard lock(socketLock_);
    if (tftpTransmitSocket != nullptr) {
        tftpTransmitSocket->ClearReceiveTimeout();
        tftpTransmitSocket->CancelBlockingCall();
    }
}

}  // namespace vantor
