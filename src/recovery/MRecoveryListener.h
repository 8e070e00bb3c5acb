#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>

#include "hostnet/ToolResult.h"
#include "net/Endpoint.h"
#include "ports/InterfaceWorker.h"
#include "ports/WorkerPorts.h"
#include "recovery/DhcpResponder.h"
#include "recovery/RepeatedWarnings.h"
#include "recovery/TftpPacket.h"
#include "recovery/TftpTransfer.h"

namespace vantor {

class CTimedSocket;

// The recovery boot service of one interface address: the BOOTP/DHCP responder on its own
// thread and the read-only TFTP server on the recovery thread that runs Start. A device that
// fell back to network boot gets 192.168.0.100 and the kernel of its board type, fetches
// kernel and RAM disk, and after the RAM disk is pinged until it has restarted.
//
// The sockets belong to the loops that create them. The loops publish them here, under a
// lock, only so that Stop and the DHCP responder can end a blocking receive from another
// thread; a socket is unpublished before its loop closes it.
class MRecoveryListener final : public InterfaceWorker {
  public:
    MRecoveryListener(WorkerPorts& ports, std::uint32_t nicAddress);
    ~MRecoveryListener() override;
    MRecoveryListener(const MRecoveryListener&) = delete;
    MRecoveryListener& operator=(const MRecoveryListener&) = delete;

    // The listener's whole life on the calling thread: the check that 192.168.0.100 is free,
    // the DHCP thread, the TFTP server. Returns when both services have ended.
    void Start();
    // Asks both services to end and interrupts their receives; returns at once. A running
    // transfer goes on while the device acknowledges, and the restart wait after a RAM disk
    // is not cut short.
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

    // BOOTP/DHCP responder (DHCP thread).
    void DoDHCP();
    void replyToBootRequest(CTimedSocket& socket, const DhcpDecision& decision);
    // Ends a running transfer; true when one was running.
    bool abortTransfer();

    // TFTP server (recovery thread).
    void DoTFTP();
    void TftpRRQ(const TftpRequest& request, Endpoint client);
    void TftpRejectRequest(Endpoint client);
    void serveFile(CTimedSocket& socket, BlockSource& source, const std::string& fileName,
                   Endpoint client, TftpTerms terms);
    // The next datagram of the transfer's client, or the end of the wait, as the transfer's
    // next step.
    TftpStep awaitClient(CTimedSocket& socket, TftpTransfer& transfer);
    void endTransfer(TftpTransferState state, const std::string& fileName);
    void completeTransfer(const std::string& fileName);
    void serveMissingFile(CTimedSocket& socket, const std::string& fileName, Endpoint client);

    // Status-log lines of this listener (tag Recovery). A count of repeated warnings not yet
    // reported goes first.
    void log(const std::string& text);
    void log(std::string_view text) { log(std::string(text)); }
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

    std::thread dhcpThread;
    std::atomic<int> countDhcp{0};
    std::atomic<bool> tftpRunning{false};
    std::atomic<bool> dhcpRunning{false};
    const std::uint32_t nicAddress;
    WorkerPorts ports_;
    std::atomic<bool> transferActive{false};
    // Published sockets, guarded by socketLock_.
    CTimedSocket* tftpSocket = nullptr;
    CTimedSocket* tftpTransmitSocket = nullptr;
    CTimedSocket* dhcpSocket = nullptr;
    // What the responder last offered; written by the DHCP thread only.
    std::uint32_t offeredAddress = 0;

    std::mutex socketLock_;
    // Shared by both loops; held only to consult warnings_, never while writing a row.
    std::mutex warningsLock_;
    RepeatedWarnings warnings_;
    // Set by Stop before it clears the running flags, so that a Stop that comes before
    // Start has set them is not undone.
    std::atomic<bool> stopRequested_{false};
    std::string prefix_;   // the interface prefix, chosen when Start begins
    std::string nicText_;  // nicAddress, dotted
};

}  // namespace vantor
