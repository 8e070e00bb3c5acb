#include "recovery/MRecoveryListener.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <system_error>

#include "base/Ipv4.h"
#include "net/CTimedSocket.h"
#include "ports/ConsoleMode.h"
#include "recovery/RecoveryLog.h"
#include "recovery/RecoveryService.h"
#include "recovery/TftpWire.h"

namespace vantor {

MRecoveryListener::Publication::Publication(MRecoveryListener& owner, CTimedSocket*& slot,
                                            CTimedSocket& socket)
    : owner_(owner), slot_(slot) {
    const std::lock_guard lock(owner_.socketLock_);
    slot_ = &socket;
    // A stop that came before this socket existed found nothing to cancel: cancel it now, or
    // its first wait (a transfer's, up to the TFTP time-out) would hold the stop up.
    if (owner_.stopRequested_) {
        socket.CancelBlockingCall();
    }
}

MRecoveryListener::Publication::~Publication() {
    const std::lock_guard lock(owner_.socketLock_);
    slot_ = nullptr;
}

MRecoveryListener::MRecoveryListener(WorkerPorts& ports, std::uint32_t nic,
                                     std::shared_ptr<RecoveryKit> kit)
    : kit_(kit != nullptr ? std::move(kit) : RecoveryKit::Load(KitSearch{})),
      nicAddress(nic),
      offeredAddress(Ipv4::fromOctets(kRecoveryAddressOctets[0], kRecoveryAddressOctets[1],
                                      kRecoveryAddressOctets[2], kRecoveryAddressOctets[3])),
      ports_(ports),
      warnings_(ports.timings.repeatedWarningWindow),
      nicText_(Ipv4::format(nic)),
      transfers_(kTftpMaxTransfersPerInterface, kTftpMaxTransfersPerClient),
      restartWatches_(kRecoveryMaxRestartWatches, kRecoveryMaxRestartWatches) {}

MRecoveryListener::~MRecoveryListener() {
    // Start joins the DHCP thread before it returns; this only covers a Start cut short.
    if (dhcpThread.joinable()) {
        Stop();
        dhcpThread.join();
    }
}

void MRecoveryListener::Start() {
    prefix_ = ports_.interfaces.prefixFor(nicAddress);
    folding_ = std::make_unique<PeerRowFolding>(prefix_, ports_.timings.peerRowWindow);
    dhcpRunning = true;
    tftpRunning = true;
    if (stopRequested_) {
        // Stopped before this thread got here: its flags must stay cleared.
        dhcpRunning = false;
        tftpRunning = false;
        return;
    }
    // A host that already answers at the recovery address would receive the devices'
    // traffic (or be taken over by the route this service sets up): serve nothing here.
    if (ports_.pinger.PingHost(std::string(kRecoveryAddress), kRecoveryPrecheckAttempts,
                               kRecoveryPrecheckDataSize)) {
        log(RecoveryLog::addressInUse(prefix_));
        return;
    }
    try {
        dhcpThread = std::thread([this] {
            countDhcp.fetch_add(1);
            DoDHCP();
            countDhcp.fetch_sub(1);
        });
    } catch (const std::system_error&) {
        // No thread for the responder: it ends at once, as when its socket cannot be made.
        ports_.gate.allowRestart(true);
    }
    DoTFTP();
    // A transfer may start a restart wait until it ends: the transfers first.
    transfers_.JoinAll();
    restartWatches_.JoinAll();
    while (countDhcp.load() != 0) {
        std::this_thread::sleep_for(ports_.timings.recoveryPoll);
    }
    // The counter is raised by the thread itself, so it may still read 0 before the thread
    // has begun: the join is what guarantees the responder has ended.
    if (dhcpThread.joinable()) {
        dhcpThread.join();
    }
    removePlantedNeighbourEntry();
    // The host route stays for the operator to reach the device, and so does an entry that
    // the device answered at; the network helper removes at the end only what no mode kept.
    ports_.tools.Keep(Ipv4::format(offeredAddress));
    flushRepeatedWarnings();
    std::vector<std::string> counts;
    {
        const std::lock_guard lock(foldingLock_);
        counts = folding_->Flush();
    }
    for (const std::string& count : counts) {
        write(count);
    }
}

void MRecoveryListener::Stop() {
    stopRequested_ = true;
    dhcpRunning = false;
    tftpRunning = false;
    // A socket keeps a cancel that arrives between two receives for the next one, so a loop
    // that is not blocked at this moment still ends at its next receive.
    {
        const std::lock_guard lock(socketLock_);
        for (CTimedSocket* socket : {dhcpSocket, tftpSocket}) {
            if (socket != nullptr) {
                socket->CancelBlockingCall();
            }
        }
    }
    // Each transfer takes the end of its wait as a time-out: it goes on while its device
    // acknowledges. Closing the program ends it at its next step.
    transfers_.CancelAll(false);
}

void MRecoveryListener::log(const std::string& text) {
    flushRepeatedWarnings();
    write(text);
}

void MRecoveryListener::logFromPeer(const std::string& peer, const std::vector<std::string>& rows) {
    if (rows.empty()) {
        return;
    }
    // A host that sends thousands of requests a second must not push the session's history
    // out of the window and the log file: beyond a few groups a second it is only counted.
    PeerRowFolding::Admission admission;
    {
        const std::lock_guard lock(foldingLock_);
        admission = folding_->Admit(peer, std::chrono::steady_clock::now());
    }
    if (admission.summariesFirst.empty() && !admission.write) {
        return;
    }
    flushRepeatedWarnings();
    const LogGroup group = ports_.report.logGroup();
    for (const std::string& count : admission.summariesFirst) {
        write(count);
    }
    if (admission.write) {
        for (const std::string& row : rows) {
            write(row);
        }
    }
}

void MRecoveryListener::write(const std::string& text) {
    ports_.report.appendStatus(tagOf(ConsoleMode::Recovery), text);
}

void MRecoveryListener::flushRepeatedWarnings() {
    std::optional<std::string> summary;
    {
        const std::lock_guard lock(warningsLock_);
        summary = warnings_.Flush();
    }
    if (summary) {
        write(*summary);
    }
}

void MRecoveryListener::Trace(std::string_view text) {
    // Standard error rather than standard output: the headless front-end shows the operator's
    // view on standard output. One call per line keeps lines of different threads whole.
    std::string line(text);
    if (line.empty() || (line.back() != '\n' && line.back() != '\r')) {
        line += '\n';
    }
    std::fwrite(line.data(), 1, line.size(), stderr);
}

std::optional<std::string> MRecoveryListener::routeResultRow(const ToolResult& route) const {
    if (route.toolNotFound()) {
        return RecoveryLog::routeToolMissing(prefix_);
    }
    if (!route.succeeded()) {
        return RecoveryLog::routeFailed(prefix_, route.failure);
    }
    return std::nullopt;
}

void MRecoveryListener::logRouteResult(const ToolResult& route) {
    if (const auto row = routeResultRow(route)) {
        log(*row);
    }
}

void MRecoveryListener::logFailure(const std::string& line) {
    RepeatedWarnings::Rows rows;
    {
        const std::lock_guard lock(warningsLock_);
        rows = warnings_.Warn(line, std::chrono::steady_clock::now());
    }
    if (rows.summary || rows.write) {
        const LogGroup group = ports_.report.logGroup();
        if (rows.summary) {
            write(*rows.summary);
        }
        if (rows.write) {
            write(line);
            write(RecoveryLog::kListening);
        }
    }
    ports_.gate.allowRestart(true);
}

}  // namespace vantor
