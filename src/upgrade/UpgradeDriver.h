#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ports/InterfaceWorker.h"
#include "ports/WorkerPorts.h"
#include "upgrade/BatchUpgrade.h"
#include "upgrade/CodeUpdateTransport.h"
#include "upgrade/FirmwareArchive.h"
#include "upgrade/StatusSink.h"
#include "upgrade/StopSignal.h"
#include "upgrade/UpdateImage.h"
#include "upgrade/UpgradeSession.h"

namespace vantor {

// The firmware file mode's Browse and Update and the runs they start: each run checks that the
// device answers, opens the archive, picks its members, sends them with the code update
// protocol and waits for the device to come back after new microcode. One run at a time, on a
// worker thread the driver owns; the console creates one driver and keeps it, so members that
// a run does not set keep their values from the previous run.
class UpgradeDriver final : public FirmwareUpgrader, public BatchUpgrader {
  public:
    // Opens the run's transport to deviceIp; wakeFd (or -1) becomes readable on a stop request.
    using TransportFactory = UpgradeSession::TransportFactory;

    // With the UDP transport to the device's port 69.
    explicit UpgradeDriver(WorkerPorts& ports);
    UpgradeDriver(WorkerPorts& ports, TransportFactory makeTransport);
    ~UpgradeDriver() override;
    UpgradeDriver(const UpgradeDriver&) = delete;
    UpgradeDriver& operator=(const UpgradeDriver&) = delete;

    // Console handlers (user-interface thread).
    void OnBrowse() override;
    void OnUpdate() override;
    void requestStop() override;
    bool active() const override;
    UpgradeRuns runs() const override;
    BatchUpgrader* batch() override { return this; }

    // Several devices at once; Update and the mode radios stay off until every one has ended.
    bool startBatch(const BatchRequest& request) override;
    std::vector<BatchDeviceStatus> batchStatus() const override;
    bool batchActive() const override;

    // Starts the worker of a run with the settings OnUpdate stored.
    void startUpgrade();

  private:
    void upgradeThread();
    void batchEnded();
    bool runUpgrade();
    void log(const std::string& text);
    void enableRunControls(bool on);

    WorkerPorts ports_;
    TransportFactory makeTransport_;

    // Set by OnUpdate before the worker starts; read by the worker.
    std::string deviceIp_;
    std::string setPassword_;
    std::string archivePath_;
    bool onePagePerPacket_ = false;

    // The image of the member last read (worker thread only while a run lasts).
    UpdateImage image_;

    // One count from the press of Update until the run's worker is done with the ports.
    std::atomic<int> activeRuns_{0};
    // From startBatch until the batch's end rows are written and the controls are back.
    std::atomic<bool> batchRunning_{false};
    StopSignal stop_;
    std::thread worker_;
    mutable std::mutex runsMutex_;
    UpgradeRuns runs_;
    // Last: its sessions end before the rest of the driver goes.
    BatchUpgrade batch_;
};

}  // namespace vantor
