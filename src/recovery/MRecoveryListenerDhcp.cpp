// The BOOTP/DHCP responder of a recovery listener: its receive loop on the DHCP thread.
#include <errno.h>
#include <unistd.h>

#include <algorithm>

#include <array>
#include <chrono>
#include <thread>

#include "base/Ipv4.h"
#include "net/CTimedSocket.h"
#include "net/KernelNeighbourTables.h"
#include "ports/ConsoleMode.h"
#include "recovery/ClientRateLimit.h"
#include "recovery/DhcpMessage.h"
#include "recovery/DhcpWire.h"
#include "recovery/MRecoveryListener.h"
#include "recovery/RecoveryLog.h"

namespace vantor {

namespace {

unsigned long threadNumber() {
    return static_cast<unsigned long>(::gettid());
}

// "02:56:4e:00:00:01" as the kernel prints it against "02-56-4E-00-00-01" as we write it.
bool sameMac(std::string_view kernelText, std::string_view macText) {
    return kernelText.size() == macText.size() &&
           std::ranges::equal(kernelText, macText, [](char a, char b) {
               const auto canonical = [](char c) {
                   if (c == ':') {
                       return '-';
                   }
                   return (c >= 'a' && c <= 'f') ? static_cast<char>(c - 'a' + 'A') : c;
               };
               return canonical(a) == canonical(b);
           });
}

std::array<std::uint8_t, 4> octetsOf(std::uint32_t networkOrder) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&networkOrder);
    return {bytes[0], bytes[1], bytes[2], bytes[3]};
}

}  // namespace

void MRecoveryListener::DoDHCP() {
    DhcpResponder responder(nicAddress, DhcpResponder::ServerNameFor(ports_.interfaces.hostName()),
                            kit_->DeviceOuis());

    // Bound to the interface rather than to its address: DISCOVERs are broadcast, and the
    // broadcast replies must leave by this interface.
    CTimedSocket socket(ports_.privilegedPorts);
    // Alone: another DHCP server sharing the port (SO_REUSEADDR) would answer the device too.
    if (!socket.CreateOnInterfaceAlone(nicAddress, kDhcpServerPort,
                                       ports_.timings.portHolderPatience)) {
        logDhcpSocketFailure(socket.lastError());
        ports_.gate.allowRestart(true);
        return;
    }
    if (!socket.SetBroadcast(true)) {
        log(RecoveryLog::dhcpBroadcastRefused(prefix_));
        ports_.gate.allowRestart(true);
        return;
    }
    const Publication published(*this, dhcpSocket, socket);
    // A rival that started before us kept us off the port; one that starts later is looked
    // for from the first DISCOVER on.
    nextRivalLook_ = std::chrono::steady_clock::now();

    std::array<std::uint8_t, kDhcpReceiveSize> buffer{};
    std::chrono::steady_clock::time_point nextShortPause{};
    // A client that sends more than a boot loader does is answered only so often: each answer
    // is a reply, rows and perhaps a tool run, and a flood of them would delay real clients.
    ClientRateLimit rateLimit(ports_.timings.dhcpClientRateWindow);
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
        if (const auto rate = rateLimit.Admit(decision.macText, std::chrono::steady_clock::now());
            !rate.answer) {
            if (rate.droppedInWindow == 1) {
                Trace(RecoveryLog::traceRateLimited(decision.macText));
            }
            continue;
        }
        ports_.report.setNoticeLine("");
        Trace(RecoveryLog::traceReceived(DhcpMessage::MessageTypeName(decision.messageType),
                                         Ipv4::format(decision.clientAddress), decision.macText));
        if (decision.verdict == DhcpVerdict::reply) {
            if (decision.replyType == kDhcpOffer) {
                lookForRivalServers(socket);
            }
            replyToBootRequest(socket, decision);
        } else if (decision.board != BoardType::unknown) {
            logFromPeer(decision.macText,
                        {RecoveryLog::boardFound(prefix_, decision.board == BoardType::pxa)});
        }
    }
}

void MRecoveryListener::logDhcpSocketFailure(int error) {
    log(RecoveryLog::dhcpSocketFailed(prefix_));
    if (RecoveryLog::isPrivilegeError(error)) {
        log(RecoveryLog::portNotAllowed(prefix_, kDhcpServerPort));
    } else if (error == ENODEV || error == EADDRNOTAVAIL) {
        // The address went away between the interface list and this start: the watcher
        // starts the listeners again for the new list.
        log(RecoveryLog::interfaceGone(prefix_, nicText_));
    } else {
        log(RecoveryLog::kDhcpServiceRunning);
        log(RecoveryLog::kDhcpDisableService);
    }
}

void MRecoveryListener::lookForRivalServers(CTimedSocket& socket) {
    const auto now = std::chrono::steady_clock::now();
    if (now < nextRivalLook_) {
        return;
    }
    nextRivalLook_ = now + ports_.timings.rivalLookSpacing;
    const auto isNew = [this](std::uint64_t holder) {
        return std::ranges::find(rivalsWarned_, holder) == rivalsWarned_.end();
    };
    std::vector<std::uint64_t> seen = socket.ForeignHoldersOfPort();
    std::erase_if(seen, [&](std::uint64_t holder) { return !isNew(holder); });
    if (seen.empty()) {
        return;
    }
    // A tool this process starts holds a copy of our socket from its fork until it runs: a
    // holder counts only when it is still there a moment later.
    std::this_thread::sleep_for(ports_.timings.portHolderPatience);
    const std::vector<std::uint64_t> still = socket.ForeignHoldersOfPort();
    for (const std::uint64_t rival : seen) {
        if (std::ranges::find(still, rival) == still.end()) {
            continue;
        }
        if (rivalsWarned_.size() < kMaxRivalsRemembered) {
            rivalsWarned_.push_back(rival);
        }
        log(RecoveryLog::rivalDhcpServer(prefix_));
    }
}

std::string MRecoveryListener::boundDevice() {
    const std::lock_guard lock(bindingLock_);
    return boundDevice_;
}

void MRecoveryListener::replyToBootRequest(CTimedSocket& socket, const DhcpDecision& decision) {
    const bool offer = decision.replyType == kDhcpOffer;
    const std::string offered = Ipv4::format(offeredAddress);
    // The rows of one reply are written together and in order once it has gone out, never
    // across the pause, the tools or the send: a reply must not wait for another listener's
    // rows, nor theirs for it.
    std::vector<std::string> rows;
    if (offer) {
        Trace(RecoveryLog::traceSend(threadNumber(), kDhcpReplySize));
        rows.push_back(RecoveryLog::addressRequest(prefix_, decision.macText));
    }
    if (decision.board != BoardType::unknown) {
        rows.push_back(RecoveryLog::boardFound(prefix_, decision.board == BoardType::pxa));
    }
    // A device that asks again has restarted its boot: whatever it was fetching is dead. Only
    // its own transfers end; other devices' go on. The pause lets an aborted transfer end
    // before the device is answered; with none aborted, the answer goes out at once.
    const std::uint32_t speaksFrom =
        decision.destination.broadcast ? 0 : decision.destination.to.address;
    if (transfers_.AbortFor(decision.macText, speaksFrom) > 0) {
        Trace(RecoveryLog::kTraceResetTftp);
        std::this_thread::sleep_for(ports_.timings.tftpAbortPause);
    }
    // The device that takes the address with this reply: an ACK, or a BOOTP reply, which
    // a BOOTP client takes as it is.
    if (!offer || decision.messageType == kDhcpTypeBootp) {
        const std::lock_guard lock(bindingLock_);
        boundDevice_ = decision.macText;
    }
    if (!offer) {
        // From now on the device is being served; its RAM disk ends that.
        ports_.gate.allowRestart(false);
        keepRouteThroughHere(socket.interfaceName(), rows);
    }
    // Another device asking must not turn the blocks and echoes of the device that holds the
    // address, or fetches from it, away to its own MAC.
    const std::string holder = boundDevice();
    if (!decision.destination.broadcast && (holder.empty() || holder == decision.macText) &&
        !transfers_.RunsForAnotherThan(decision.macText)) {
        keepNeighbourEntry(socket.interfaceName(), decision, rows);
    }
    const SocketResult sent = socket.SendTo(decision.reply, decision.destination.to);
    if (!sent.ok() || sent.length != kDhcpReplySize) {
        rows.push_back(RecoveryLog::dhcpSendFailed(prefix_));
        rows.emplace_back(RecoveryLog::kListening);
        logFromPeer(decision.macText, rows);
        ports_.gate.allowRestart(true);
        return;
    }
    if (offer) {
        rows.push_back(RecoveryLog::assigningAddress(prefix_));
        logFromPeer(decision.macText, rows);
        return;
    }
    rows.push_back(RecoveryLog::addressAssigned(prefix_));
    rows.push_back(RecoveryLog::assignedMac(decision.macText));
    rows.push_back(RecoveryLog::assignedIp(offered));
    logFromPeer(decision.macText, rows);
    ports_.report.setBannerState(BannerState::Instructions);
    ports_.report.showDeviceIp(octetsOf(offeredAddress));
    ports_.report.showDeviceMac(decision.mac);
}

void MRecoveryListener::keepRouteThroughHere(const std::string& interfaceName,
                                             std::vector<std::string>& rows) {
    // The device may sit on another subnet than this interface: reach it through here,
    // whichever interface served the last device before. Only when the route is not there
    // already: a flood of requests must not become a flood of tool runs.
    if (KernelNeighbourTables::HasHostRoute(KernelNeighbourTables::ReadRouteTable(), offeredAddress,
                                            interfaceName)) {
        return;
    }
    const std::string offered = Ipv4::format(offeredAddress);
    ports_.tools.RouteDelete(offered);
    if (const auto row = routeResultRow(ports_.tools.RouteAdd(offered, nicText_))) {
        rows.push_back(*row);
    }
}

void MRecoveryListener::keepNeighbourEntry(const std::string& interfaceName,
                                           const DhcpDecision& decision,
                                           std::vector<std::string>& rows) {
    // A client that already has an address is answered by unicast; the static entry lets
    // the offered address resolve to it before it has taken that address. The tool runs only
    // when the entry does not name this device already.
    const std::string offered = Ipv4::format(offeredAddress);
    const auto entry = KernelNeighbourTables::PermanentEntry(
        KernelNeighbourTables::ReadNeighbourTable(), offered, interfaceName);
    if (entry && sameMac(*entry, decision.macText)) {
        return;
    }
    if (const ToolResult planted = ports_.tools.ArpAdd(offered, decision.macText, nicText_);
        planted.succeeded()) {
        plantedNeighbour_ = decision.macText;
    } else {
        rows.push_back(RecoveryLog::arpEntryFailed(prefix_, planted.failure));
    }
}

void MRecoveryListener::removePlantedNeighbourEntry() {
    // The entry sends the recovery address to one MAC for good, even after the program: it
    // stays only for a device that answered there, whose page the operator may open next.
    if (plantedNeighbour_.empty() || recoveryAddressAnswered_) {
        return;
    }
    ports_.tools.ArpDeleteOn(Ipv4::format(offeredAddress), nicText_);
    plantedNeighbour_.clear();
}

}  // namespace vantor
