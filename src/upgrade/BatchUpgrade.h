#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/Timings.h"
#include "hostnet/Pinger.h"
#include "ports/BatchUpgrader.h"
#include "ports/ReportPort.h"
#include "upgrade/DecodedFirmware.h"
#include "upgrade/StopSignal.h"
#include "upgrade/UpgradeSession.h"

namespace vantor {

// One archive to many devices: the archive is decoded once, then each device runs the
// session of a single Update over a socket of its own, at most request.parallel at a time.
// A device that fails ends with its reason and the others go on; a stop ends every session
// at its next step and leaves the devices not done as not finished. Each device's rows go to
// the status log with "[Device A.B.C.D]" after the "> ", its progress with its address.
class BatchUpgrade {
  public:
    using TransportFactory = UpgradeSession::TransportFactory;

    BatchUpgrade(ReportPort& report, Pinger& pinger, const Timings& timings,
                 TransportFactory makeTransport);
    // Stops and joins the sessions; onEnd may run meanwhile.
    ~BatchUpgrade();
    BatchUpgrade(const BatchUpgrade&) = delete;
    BatchUpgrade& operator=(const BatchUpgrade&) = delete;

    // Decodes the archive (its rows in the status log when refused) and starts the sessions.
    // onEnd runs on the last session thread once every device has ended. False when nothing
    // started (then onEnd never runs). Not while active().
    bool start(const BatchRequest& request, std::function<void()> onEnd);
    void requestStop();
    bool active() const { return runningWorkers_.load() > 0; }
    std::vector<BatchDeviceStatus> status() const;

    // "> [Device A] TEXT" for a row "> TEXT" (and for a row without "> ").
    static std::string deviceRow(const std::string& address, const std::string& row);

  private:
    class DeviceReport;
    using Clock = std::chrono::steady_clock;

    void workerLoop();
    void runDevice(std::size_t index);
    void joinWorkers();

    ReportPort& report_;
    Pinger& pinger_;
    const Timings& timings_;
    TransportFactory makeTransport_;

    BatchRequest request_;
    DecodedFirmware firmware_;
    StopSignal stop_;
    std::function<void()> onEnd_;
    std::atomic<std::size_t> next_{0};
    std::atomic<int> runningWorkers_{0};
    std::vector<std::thread> workers_;

    mutable std::mutex mutex_;
    std::vector<BatchDeviceStatus> devices_;
    std::vector<Clock::time_point> began_;
};

}  // namespace vantor
