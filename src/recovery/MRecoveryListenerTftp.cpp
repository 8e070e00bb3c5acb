// The read-only TFTP server of a recovery listener (RFC 1350): the request loop on port 69
// and every transfer, one after the other, on the recovery thread.
#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "base/InterfaceList.h"
#include "base/Ipv4.h"
#include "net/CTimedSocket.h"
#include "net/InterfaceMtu.h"
#include "net/KernelNeighbourTables.h"
#include "recovery/BootImages.h"
#include "recovery/MRecoveryListener.h"
#include "recovery/RecoveryLog.h"
#include "recovery/RecoveryService.h"
#include "recovery/TftpOptions.h"
#include "recovery/TftpPacket.h"
#include "recovery/TftpWire.h"

namespace vantor {

namespace {

using Clock = TftpTransfer::Clock;

// Reads a request as the server always has: as if the datagram were followed by zeros, so
// that a name or mode that lacks its final zero still counts. Options are taken only from a
// request whose mode ends inside it, and only whole: a value cut off is no value.
TftpRequest readRequest(std::span<const std::uint8_t> datagram) {
    TftpRequest request = TftpPacket::ParseRequest(datagram);
    if (request.kind == TftpRequestKind::read) {
        return request;
    }
    std::vector<std::uint8_t> padded(datagram.begin(), datagram.end());
    padded.insert(padded.end(), 2, 0);
    request = TftpPacket::ParseRequest(padded);
    request.options.clear();
    return request;
}

bool isFinished(TftpTransferState state) {
    return state != TftpTransferState::waiting;
}

}  // namespace

void MRecoveryListener::DoTFTP() {
    CTimedSocket socket(ports_.privilegedPorts);
    if (!socket.Create(nicAddress, kTftpPort)) {
        log(RecoveryLog::tftpListenSocketFailed(prefix_));
        if (RecoveryLog::isPrivilegeError(socket.lastError())) {
            log(RecoveryLog::portNotAllowed(prefix_, kTftpPort));
        }
        ports_.gate.allowRestart(true);
        return;
    }
    const Publication published(*this, tftpSocket, socket);

    std::array<std::uint8_t, kTftpReceiveSize> buffer{};
    while (tftpRunning) {
        const SocketResult received = socket.ReceiveWithTimeout(buffer);
        if (!received.ok()) {
            if (!tftpRunning) {
                break;
            }
            logFailure(RecoveryLog::tftpReceiveError(prefix_));
            continue;
        }
        if (received.length < 2) {
            continue;  // not even an opcode: nothing to answer
        }
        const std::span<const std::uint8_t> datagram(buffer.data(), received.length);
        const TftpRequest request = readRequest(datagram);
        Trace(RecoveryLog::traceFileName(request.fileName));
        Trace(RecoveryLog::traceMode(request.mode));
        if (request.opcode == kTftpRrq) {
            dispatchRead(request, datagram, received.peer);
        } else {
            TftpRejectRequest(received.peer);
        }
    }
}

void MRecoveryListener::dispatchRead(const TftpRequest& request,
                                     std::span<const std::uint8_t> datagram, Endpoint client) {
    if (isRepeatedRequest(datagram, client)) {
        Trace(RecoveryLog::kTraceRepeatedRequest);
        return;
    }
    // The device a client is: the one this interface gave the recovery address to, when the
    // request comes from there. Its next boot request aborts the transfer.
    const std::string owner = client.address == offeredAddress ? boundDevice() : std::string();
    const std::string key = Ipv4::format(client.address) + ":" + std::to_string(client.port);
    const std::vector<std::uint8_t> bytes(datagram.begin(), datagram.end());
    const auto admission = transfers_.Start(
        key, owner, client.address, [this, request, client, bytes](TaskRoster::Control& control) {
            TftpRRQ(request, client, control);
            const std::lock_guard lock(endedLock_);
            endedRequests_.push_back({client, bytes, Clock::now()});
            if (endedRequests_.size() > kTftpMaxTransfersPerInterface) {
                endedRequests_.pop_front();
            }
        });
    switch (admission) {
        case TaskRoster::Admission::started:
            break;
        case TaskRoster::Admission::running:
            // The client sent its request again before the first DATA (or OACK) reached it
            // (busybox after 100 ms): its transfer answers it.
            Trace(RecoveryLog::kTraceRepeatedRequest);
            break;
        case TaskRoster::Admission::busy:
            refuseBusy(client);
            break;
    }
}

bool MRecoveryListener::isRepeatedRequest(std::span<const std::uint8_t> datagram, Endpoint client) {
    // A copy of a request that was sent while its transfer ran and read only after the
    // transfer ended would start a transfer to a client port that has moved on, and fail.
    const std::lock_guard lock(endedLock_);
    const auto now = Clock::now();
    return std::ranges::any_of(endedRequests_, [&](const EndedRequest& ended) {
        return ended.client == client && std::ranges::equal(datagram, ended.bytes) &&
               now - ended.ended < kTftpRepeatedRequestWindow;
    });
}

void MRecoveryListener::refuseBusy(Endpoint client) {
    // The client may ask again later.
    refuse(client, kTftpServerBusyText);
    logFromPeer(Ipv4::format(client.address),
                {RecoveryLog::tftpBusy(prefix_, Ipv4::format(client.address))});
}

void MRecoveryListener::TftpRejectRequest(Endpoint client) {
    refuse(client, kTftpNotDefinedText);
}

void MRecoveryListener::refuse(Endpoint client, std::string_view text) {
    CTimedSocket socket;
    if (!socket.Create(nicAddress, 0)) {
        logFailure(RecoveryLog::tftpSocketFailed(prefix_));
        return;
    }
    // RFC 1350 section 7: an ERROR is neither acknowledged nor retransmitted, so nothing is
    // waited for; waiting would only keep the next request (and the next device) off.
    if (!socket.SendTo(TftpPacket::BuildError(kTftpErrorNotDefined, text), client).ok()) {
        logFailure(RecoveryLog::tftpSendFailed(prefix_));
    }
}

void MRecoveryListener::TftpRRQ(const TftpRequest& request, Endpoint client,
                                TaskRoster::Control& control) {
    const std::string& fileName = request.fileName;
    const std::string peer = Ipv4::format(client.address);
    KitServing serving = kit_->Open(fileName);
    const std::unique_ptr<BlockSource> source = std::move(serving.source);
    CTimedSocket socket;
    if (!socket.Create(nicAddress, 0)) {
        logFromPeer(peer, {RecoveryLog::tftpRequest(prefix_, fileName, peer)});
        logFailure(RecoveryLog::tftpSocketFailed(prefix_));
        return;
    }
    const TaskRoster::Control::Publication published(control, socket);
    if (!serving.problem.empty()) {
        serveDamagedImage(socket, fileName, serving.problem, client);
        return;
    }
    if (source == nullptr) {
        serveMissingFile(socket, fileName, client);
        return;
    }
    logFromPeer(peer, {RecoveryLog::tftpRequest(prefix_, fileName, peer),
                       RecoveryLog::transferStarted(prefix_, fileName)});
    // A block must fit the link unfragmented: a lost fragment loses the whole block.
    TftpOptionLimits limits{
        TftpOptions::BlockSizeFor(InterfaceMtu::Of(nicAddress).value_or(kEthernetMtu)),
        source->size()};
    // A window must fit the socket's send buffer, or its last blocks find no room (64 blocks
    // of 8968 bytes are four times the default buffer): the buffer is raised for what the
    // client asks where we may, and the window cut to what it holds (RFC 7440 lets the server
    // answer a smaller one).
    const TftpTerms asked = TftpOptions::Negotiate(request.options, limits);
    socket.RaiseSendBuffer(TftpOptions::SendBufferFor(asked.blockSize, asked.windowSize));
    limits.sendBufferBytes = socket.sendBufferSize();
    TftpTerms terms = TftpOptions::Negotiate(request.options, limits);
    // A full buffer is waited out, within the transfer's own time-out.
    socket.SetSendPatience(terms.timeout.value_or(ports_.timings.tftpTimeout));
    if (serveFile(socket, *source, fileName, client, std::move(terms), control) &&
        fileName.starts_with(kRamDiskPrefix)) {
        // The device boots the RAM disk it just received: wait for it beside the server.
        watchRestart(client, control.owner());
    }
}

void MRecoveryListener::serveDamagedImage(CTimedSocket& socket, const std::string& fileName,
                                          const std::string& problem, Endpoint client) {
    // A device that boots a damaged kernel hangs in its boot loader, and the operator sees
    // nothing; told "not defined", U-Boot stops and asks again.
    const SocketResult sent =
        socket.SendTo(TftpPacket::BuildError(kTftpErrorNotDefined, kTftpDamagedImageText), client);
    const std::string peer = Ipv4::format(client.address);
    std::vector<std::string> rows{RecoveryLog::tftpRequest(prefix_, fileName, peer),
                                  RecoveryLog::damagedImage(prefix_, fileName, problem)};
    if (!sent.ok()) {
        rows.push_back(RecoveryLog::tftpErrorSendFailed(prefix_));
    }
    rows.emplace_back(RecoveryLog::kListening);
    logFromPeer(peer, std::move(rows));
}

void MRecoveryListener::serveMissingFile(CTimedSocket& socket, const std::string& fileName,
                                         Endpoint client) {
    // RFC 1350 section 7: the ERROR ends the transfer; nothing comes back to wait for.
    const SocketResult sent = socket.SendTo(
        TftpPacket::BuildError(kTftpErrorFileNotFound, kTftpFileNotFoundText), client);
    const std::string peer = Ipv4::format(client.address);
    std::vector<std::string> rows{RecoveryLog::tftpRequest(prefix_, fileName, peer),
                                  RecoveryLog::fileNotFound(prefix_),
                                  RecoveryLog::fileLocationHint(fileName)};
    if (!sent.ok()) {
        rows.push_back(RecoveryLog::tftpErrorSendFailed(prefix_));
    }
    rows.emplace_back(RecoveryLog::kListening);
    logFromPeer(peer, rows);
    ports_.gate.allowRestart(true);
}

bool MRecoveryListener::serveFile(CTimedSocket& socket, BlockSource& source,
                                  const std::string& fileName, Endpoint client, TftpTerms terms,
                                  const TaskRoster::Control& control) {
    TftpTransfer transfer(source, client, ports_.timings.tftpTimeout,
                          ports_.timings.tftpDuplicateAckResend, std::move(terms));
    // The name is the client's text: the view filters it before showing it.
    TransferProgress progress{"", fileName, 0, source.size().value_or(0)};
    TftpStep step = transfer.Start(Clock::now());
    for (;;) {
        // A new boot request of the device ended the transfer: nothing to say. Leaving the
        // mode lets a device that keeps acknowledging finish its boot, but closing the
        // program must not wait on a device (up to a time-out for a silent one).
        if (!isFinished(step.state) &&
            (control.aborted() || (!tftpRunning && ports_.gate.closing()))) {
            break;
        }
        bool sendFailed = false;
        for (const TftpOutgoing& packet : step.send) {
            const SocketResult sent = socket.SendTo(packet.bytes, packet.to);
            if (packet.essential && (!sent.ok() || sent.length != packet.bytes.size())) {
                sendFailed = true;
                break;
            }
        }
        if (sendFailed) {
            step = transfer.OnSendFailed();
        }
        if (isFinished(step.state)) {
            break;
        }
        // Reported once the next window is out, not between the ACK and it: the client waits
        // for that window, the display does not.
        if (transfer.acknowledgedBytes() != progress.done) {
            progress.done = transfer.acknowledgedBytes();
            ports_.report.reportProgress(progress);
        }
        step = awaitClient(socket, transfer);
    }
    // The progress display ends before the rows that close the transfer (and the restart
    // wait after a RAM disk); a transfer that did not complete ends with total 0.
    if (step.state != TftpTransferState::completed) {
        progress.total = 0;
        ports_.report.reportProgress(progress);
    } else if (progress.done != progress.total) {
        progress.done = progress.total;
        ports_.report.reportProgress(progress);
    }
    if (isFinished(step.state)) {
        endTransfer(step.state, fileName, client);
    }
    return step.state == TftpTransferState::completed;
}

TftpStep MRecoveryListener::awaitClient(CTimedSocket& socket, TftpTransfer& transfer) {
    std::array<std::uint8_t, kTftpReceiveSize> buffer{};
    for (;;) {
        // Keeps the deadline armed for this block when it is armed already (a cancelled
        // wait, a stray datagram's error), so nothing but the client pushes it back.
        socket.SetReceiveTimeout(transfer.Remaining(Clock::now()));
        const SocketResult received = socket.ReceiveWithTimeout(buffer);
        const auto now = Clock::now();
        if (received.ok()) {
            return transfer.OnDatagram(
                std::span<const std::uint8_t>(buffer.data(), received.length), received.peer, now);
        }
        if (received.error == SocketError::interrupted) {
            Trace(RecoveryLog::kTraceReceiveTimeout);
            return transfer.OnInterrupted(now);
        }
        // RFC 1350 section 4: only the client's own transfer ID bears on the transfer. An
        // oversized datagram from another port is a stray like any other, and a port
        // unreachable drawn by an ERROR sent to a stray is no failure of the transfer.
        if (received.peer != transfer.client()) {
            if (received.error == SocketError::messageTooLong) {
                return transfer.OnDatagram(buffer, received.peer, now);
            }
            if (received.error == SocketError::connectionReset) {
                continue;
            }
        }
        return transfer.OnSocketError();
    }
}

void MRecoveryListener::endTransfer(TftpTransferState state, const std::string& fileName,
                                    Endpoint client) {
    const auto failed = [this](const std::string& line) { logFailure(line); };
    switch (state) {
        case TftpTransferState::completed: {
            std::vector<std::string> rows{RecoveryLog::transferCompleted(prefix_)};
            if (fileName.starts_with(kRamDiskPrefix)) {
                rows.push_back(RecoveryLog::restartWait(prefix_));
            }
            logFromPeer(Ipv4::format(client.address), rows);
            break;
        }
        case TftpTransferState::noResponse:
            failed(RecoveryLog::transferNoResponse(prefix_));
            break;
        case TftpTransferState::socketError:
            failed(RecoveryLog::transferSocketError(prefix_));
            break;
        case TftpTransferState::readFailed:
            failed(RecoveryLog::transferReadError(prefix_));
            break;
        case TftpTransferState::clientError:
            failed(RecoveryLog::transferCancelled(prefix_));
            break;
        case TftpTransferState::sendFailed:
            log(RecoveryLog::tftpSendFailed(prefix_));
            break;
        case TftpTransferState::optionsRefused:
            // The client will ask again without options (RFC 2347): no failure of ours.
            Trace(RecoveryLog::kTraceOptionsRefused);
            break;
        case TftpTransferState::waiting:
            break;
    }
}

void MRecoveryListener::watchRestart(Endpoint client, const std::string& owner) {
    // One wait a device: a device that fetches its RAM disk again while its wait runs is
    // already being waited for.
    const std::string key = owner.empty() ? Ipv4::format(client.address) : owner;
    const auto admission =
        restartWatches_.Start(key, owner, client.address,
                              [this](TaskRoster::Control& control) { awaitRestart(control); });
    if (admission != TaskRoster::Admission::started) {
        Trace(RecoveryLog::kTraceRestartAlreadyAwaited);
    }
}

void MRecoveryListener::awaitRestart(const TaskRoster::Control& control) {
    const std::string recoveryAddress(kRecoveryAddress);
    // Leaving the mode waits for the device; closing the program cuts the wait and the
    // pings short.
    const auto cutShort = [this, &control] { return ports_.gate.closing() || control.aborted(); };
    const auto settled = std::chrono::steady_clock::now() + ports_.timings.initrdSettle;
    while (!cutShort() && std::chrono::steady_clock::now() < settled) {
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            settled - std::chrono::steady_clock::now(), ports_.timings.closingCheck));
    }
    {
        const LogGroup group = ports_.report.logGroup();
        log(RecoveryLog::kLineEnd);
        log(RecoveryLog::pingTest(prefix_, recoveryAddress));
    }
    bool answered = false;
    if (ports_.gate.winsockReady()) {
        // The route goes before each round, as another interface's device may have taken it
        // meanwhile; the tool runs only when it is not there.
        const auto owner = InterfaceList::owning(nicAddress);
        const std::string interfaceName = owner ? owner->name : std::string();
        for (int attempt = 0; attempt < kRecoveryTestRounds && !answered && !cutShort();
             ++attempt) {
            if (interfaceName.empty() ||
                !KernelNeighbourTables::HasHostRoute(KernelNeighbourTables::ReadRouteTable(),
                                                     offeredAddress, interfaceName)) {
                logRouteResult(ports_.tools.RouteAdd(recoveryAddress, nicText_));
            }
            answered = ports_.pinger.PingHost(recoveryAddress, kRecoveryTestAttempts,
                                              kRecoveryTestDataSize);
            if (answered) {
                log(RecoveryLog::pingSucceeded(prefix_));
            } else {
                std::this_thread::sleep_for(ports_.timings.recoveryPingPause);
            }
        }
        if (!answered) {
            log(RecoveryLog::pingTimedOut(prefix_));
        }
    } else {
        log(RecoveryLog::pingUnavailable(prefix_));
    }
    // Only a device that answered is ready: after a silent one the instructions stay, so
    // that the operator is not sent to a page nobody serves.
    if (answered) {
        recoveryAddressAnswered_ = true;
        ports_.report.setServerAddress(recoveryAddress);
        ports_.report.setBannerState(BannerState::DeviceReady);
    }
    log(RecoveryLog::kListening);
    ports_.gate.allowRestart(true);
}

}  // namespace vantor
