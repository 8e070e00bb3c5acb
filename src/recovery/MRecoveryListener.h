#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "hostnet/ToolResult.h"
#include "net/Endpoint.h"
#include "ports/InterfaceWorker.h"
#include "ports/WorkerPorts.h"
#include "recovery/DhcpResponder.h"
#include "recovery/PeerRowFolding.h"
#include "recovery/RecoveryKit.h"
#include "recovery/RepeatedWarnings.h"
#include "recovery/TaskRoster.h"
#include "recovery/TftpPacket.h"
#include "recovery/TftpTransfer.h"

namespace vantor {

class CTimedSocket;

// The recovery boot service of one interface address: the BOOTP/DHCP responder on its own
// thread and the read-only TFTP server on the recovery thread that runs Start. A device that
// fell back to network boot gets 192.168.0.100 and the kernel of its board type, fetches
// kernel and RAM disk, and after the RAM disk is pinged until it has restarted.
//
// The TFTP request loop hands every read request to a transfer of its own, on a thread of its
// own (transfers_), so that one slow or silent client never holds up another; after a RAM disk
// the restart wait and the pings of that device run beside the server (restartWatches_). A
// boot request of a device aborts that device's transfers alone.
//
// The request loops' sockets belong to the loops that create them. The loops publish them
// here, under a lock, only so that Stop can end a blocking receive from another thread; a
// socket is unpublished before its loop closes it. Transfers publish theirs in their roster.
class MRecoveryListener final : public InterfaceWorker {
  public:
    // kit: the boot images and device OUIs served; none: the built-in ones.
    MRecoveryListener(WorkerPorts& ports, std::uint32_t nicAddress,
                      std::shared_ptr<RecoveryKit> kit = nullptr);
    ~MRecoveryListener() override;
    MRecoveryListener(const MRecoveryListener&) = delete;
    MRecoveryListener& operator=(const MRecoveryListener&) = delete;

    // The listener's whole life on the calling thread: the check that 192.168.0.100 is free,
    // the DHCP thread, the TFTP server. Returns when both services, every transfer and every
    // restart wait have ended.
    void Start();
    // Asks both services to end and interrupts every receive; returns at once. A running
    // transfer goes on while its device acknowledges, and a restart wait after a RAM disk is
    // not cut short.
    void Stop();

    // InterfaceWorker: the console's recovery thread runs Start and stops it with Stop.
    void run() override { Start(); }
    void stop() override { Stop(); }

  private:
    // Keeps a socket published in one of the listener's slots for as long as it lives.
    class Publication {
      public:
        Publication(MRecoveryListener& owner, CTimedSocket*& slot, CTimedSocket& socket);
        ~Publication();
        Publication(const Publication&) = delete;
        Publication& operator=(const Publication&) = delete;

      private:
        MRecoveryListener& owner_;
        CTimedSocket*& slot_;
    };

    // A read request whose transfer has ended, kept for a moment (see isRepeatedRequest).
    struct EndedRequest {
        Endpoint client{};
        std::vector<std::uint8_t> bytes;
        std::chrono::steady_clock::time_point ended{};
    };

    // BOOTP/DHCP responder (DHCP thread).
    void DoDHCP();
    // The socket could not be made: why, in the operator's words.
    void logDhcpSocketFailure(int error);
    void replyToBootRequest(CTimedSocket& socket, const DhcpDecision& decision);
    // The host route to the recovery address through this interface, unless it is there.
    void keepRouteThroughHere(const std::string& interfaceName, std::vector<std::string>& rows);
    // The static neighbour entry of the recovery address for this MAC, unless it is there.
    void keepNeighbourEntry(const std::string& interfaceName, const DhcpDecision& decision,
                            std::vector<std::string>& rows);
    // Removes the neighbour entry this listener planted, unless its device answered.
    void removePlantedNeighbourEntry();
    // Warns once of each other server that took up the DHCP port on this interface since.
    void lookForRivalServers(CTimedSocket& socket);
    std::string boundDevice();

    // TFTP server: the request loop (recovery thread) and the transfers (theirs).
    void DoTFTP();
    void dispatchRead(const TftpRequest& request, std::span<const std::uint8_t> datagram,
                      Endpoint client);
    bool isRepeatedRequest(std::span<const std::uint8_t> datagram, Endpoint client);
    void refuseBusy(Endpoint client);
    // ERROR 0 with `text` from a socket of its own: the request ends there.
    void refuse(Endpoint client, std::string_view text);
    void TftpRRQ(const TftpRequest& request, Endpoint client, TaskRoster::Control& control);
    void TftpRejectRequest(Endpoint client);
    // True when the transfer completed.
    bool serveFile(CTimedSocket& socket, BlockSource& source, const std::string& fileName,
                   Endpoint client, TftpTerms terms, const TaskRoster::Control& control);
    // The next datagram of the transfer's client, or the end of the wait, as the transfer's
    // next step.
    TftpStep awaitClient(CTimedSocket& socket, TftpTransfer& transfer);
    void endTransfer(TftpTransferState state, const std::string& fileName, Endpoint client);
    void serveDamagedImage(CTimedSocket& socket, const std::string& fileName,
                           const std::string& problem, Endpoint client);
    void serveMissingFile(CTimedSocket& socket, const std::string& fileName, Endpoint client);
    // After a RAM disk: the device's restart wait and pings, beside the server.
    void watchRestart(Endpoint client, const std::string& owner);
    void awaitRestart(const TaskRoster::Control& control);

    // Status-log lines of this listener (tag Recovery). A count of repeated warnings not yet
    // reported goes first.
    void log(const std::string& text);
    void log(std::string_view text) { log(std::string(text)); }
    // Rows that one message of a peer brought about, written together and in order; after a
    // few groups a second from one peer the rest are only counted.
    void logFromPeer(const std::string& peer, const std::vector<std::string>& rows);
    // The row alone.
    void write(const std::string& text);
    void write(std::string_view text) { write(std::string(text)); }
    // Diagnostic traces, never shown to the operator.
    static void Trace(std::string_view text);
    // A failure of this listener's service: the line and the listening line as one group
    // (only counted when the same line came within the last second), and the watcher may
    // restart the listeners again.
    void logFailure(const std::string& line);
    // Writes the count of repeated warnings that no row has reported yet.
    void flushRepeatedWarnings();
    // Says why the route to the recovery address is missing, if it is.
    void logRouteResult(const ToolResult& route);
    std::optional<std::string> routeResultRow(const ToolResult& route) const;

    std::thread dhcpThread;
    std::atomic<int> countDhcp{0};
    std::atomic<bool> tftpRunning{false};
    std::atomic<bool> dhcpRunning{false};
    // Before the services: they read it for every request.
    const std::shared_ptr<RecoveryKit> kit_;
    const std::uint32_t nicAddress;
    // The address every device is given: 192.168.0.100.
    const std::uint32_t offeredAddress;
    WorkerPorts ports_;
    // Published sockets, guarded by socketLock_.
    CTimedSocket* tftpSocket = nullptr;
    CTimedSocket* dhcpSocket = nullptr;

    std::mutex socketLock_;
    // Shared by both loops; held only to consult warnings_, never while writing a row.
    std::mutex warningsLock_;
    RepeatedWarnings warnings_;
    // Made when Start knows the prefix; consulted under foldingLock_, never while writing.
    std::mutex foldingLock_;
    std::unique_ptr<PeerRowFolding> folding_;
    // Set by Stop before it clears the running flags, so that a Stop that comes before
    // Start has set them is not undone.
    std::atomic<bool> stopRequested_{false};
    std::string prefix_;   // the interface prefix, chosen when Start begins
    std::string nicText_;  // nicAddress, dotted

    std::mutex endedLock_;
    std::deque<EndedRequest> endedRequests_;  // guarded by endedLock_
    // The MAC this interface last gave the recovery address to (an ACK or a BOOTP reply):
    // the device a transfer from that address is.
    std::mutex bindingLock_;
    std::string boundDevice_;
    // The MAC of the neighbour entry the responder planted for the recovery address (DHCP
    // thread), and whether a device answered at that address since.
    std::string plantedNeighbour_;
    std::atomic<bool> recoveryAddressAnswered_{false};
    // Other holders of the DHCP port already warned of, and when to look again (DHCP thread).
    std::vector<std::uint64_t> rivalsWarned_;
    std::chrono::steady_clock::time_point nextRivalLook_{};
    // Last, so that the tasks, which use every member above, end before any of it goes.
    TaskRoster transfers_;
    TaskRoster restartWatches_;
};

}  // namespace vantor
