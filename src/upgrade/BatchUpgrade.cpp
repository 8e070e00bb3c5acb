#include "upgrade/BatchUpgrade.h"

#include <algorithm>
#include <system_error>

#include "ports/ConsoleMode.h"

namespace vantor {

namespace {

// A row as the reason of a failure: without "> " and the line end.
std::string reasonOf(std::string row) {
    if (row.starts_with("> ")) {
        row.erase(0, 2);
    }
    while (!row.empty() && (row.back() == '\n' || row.back() == '\r')) {
        row.pop_back();
    }
    return row;
}

}  // namespace

// One device's rows, message boxes and progress: rows and messages into the status log with
// the device's address, progress into its status and the report port.
class BatchUpgrade::DeviceReport final : public UpgradeSessionReport {
  public:
    DeviceReport(BatchUpgrade& batch, std::size_t index)
        : batch_(batch), index_(index), address_(batch.request_.addresses[index]) {}

    void AppendStatus(int statusTag, const std::string& text) override {
        lastRow_ = text;
        batch_.report_.appendStatus(statusTag, deviceRow(address_, text));
    }
    // Several devices' message boxes would pile up in front of the operator: a batch writes
    // them as the device's row.
    void message(const std::string& text) override {
        AppendStatus(tagOf(ConsoleMode::FirmwareFile), "> " + text + "\n");
    }
    // The batch keeps the mode radios off until every device has ended.
    void enableModeRadios(bool) override {}
    void progress(std::string_view region, std::uint64_t done, std::uint64_t total) override {
        {
            std::lock_guard lock(batch_.mutex_);
            BatchDeviceStatus& device = batch_.devices_[index_];
            device.region = std::string(region);
            device.done = done;
            device.total = total;
        }
        batch_.report_.reportProgress({address_, std::string(region), done, total});
    }

    const std::string& lastRow() const { return lastRow_; }

  private:
    BatchUpgrade& batch_;
    const std::size_t index_;
    const std::string address_;
    std::string lastRow_;
};

BatchUpgrade::BatchUpgrade(ReportPort& report, Pinger& pinger, const Timings& timings,
                           TransportFactory makeTransport)
    : report_(report),
      pinger_(pinger),
      timings_(timings),
      makeTransport_(std::move(makeTransport)) {}

BatchUpgrade::~BatchUpgrade() {
    requestStop();
    joinWorkers();
}

std::string BatchUpgrade::deviceRow(const std::string& address, const std::string& row) {
    const std::string prefix = "> [Device " + address + "] ";
    return prefix + (row.starts_with("> ") ? row.substr(2) : row);
}

void BatchUpgrade::joinWorkers() {
    for (std::thread& worker : workers_) {
        if (worker.joinable()) {
            worker.join();
        }
    }
    workers_.clear();
}

void BatchUpgrade::requestStop() {
    stop_.request();
}

std::vector<BatchDeviceStatus> BatchUpgrade::status() const {
    std::lock_guard lock(mutex_);
    std::vector<BatchDeviceStatus> devices = devices_;
    const auto now = Clock::now();
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (devices[i].state == BatchDeviceState::Running) {
            devices[i].duration =
                std::chrono::duration_cast<std::chrono::milliseconds>(now - began_[i]);
        }
    }
    return devices;
}

bool BatchUpgrade::start(const BatchRequest& request, std::function<void()> onEnd) {
    if (active() || request.addresses.empty()) {
        return false;
    }
    joinWorkers();
    stop_.clear();
    request_ = request;
    request_.parallel = std::clamp(request.parallel, 1, kBatchMaxParallel);
    {
        std::lock_guard lock(mutex_);
        devices_.assign(request_.addresses.size(), {});
        began_.assign(request_.addresses.size(), {});
        for (std::size_t i = 0; i < devices_.size(); ++i) {
            devices_[i].address = request_.addresses[i];
        }
    }
    struct Rows final : StatusSink {
        explicit Rows(ReportPort& report) : report_(report) {}
        void AppendStatus(int tag, const std::string& text) override {
            report_.appendStatus(tag, text);
        }
        ReportPort& report_;
    } rows(report_);
    if (!firmware_.load(request_.archivePath, rows,
                        [this](const std::string& text) { report_.showMessage(text); })) {
        return false;
    }

    onEnd_ = std::move(onEnd);
    next_ = 0;
    const int workers =
        static_cast<int>(std::min<std::size_t>(request_.parallel, request_.addresses.size()));
    // Counted before any worker exists, so that none can see 0 while others are starting.
    runningWorkers_ = workers;
    for (int i = 0; i < workers; ++i) {
        try {
            workers_.emplace_back([this] { workerLoop(); });
        } catch (const std::system_error&) {
            // Fewer workers take the devices. The count may reach 0 here rather than in a
            // worker: with none started nothing has begun; otherwise they are all done.
            if (runningWorkers_.fetch_sub(1) == 1) {
                if (workers_.empty()) {
                    return false;
                }
                if (onEnd_) {
                    onEnd_();
                }
            }
        }
    }
    return true;
}

void BatchUpgrade::workerLoop() {
    for (;;) {
        const std::size_t index = next_.fetch_add(1);
        if (index >= request_.addresses.size()) {
            break;
        }
        if (stop_.requested()) {
            std::lock_guard lock(mutex_);
            devices_[index].state = BatchDeviceState::NotFinished;
            continue;
        }
        runDevice(index);
    }
    // The last worker to leave ends the batch: the others have finished their devices.
    if (runningWorkers_.fetch_sub(1) == 1 && onEnd_) {
        onEnd_();
    }
}

void BatchUpgrade::runDevice(std::size_t index) {
    const std::string& address = request_.addresses[index];
    {
        std::lock_guard lock(mutex_);
        devices_[index].state = BatchDeviceState::Running;
        began_[index] = Clock::now();
    }
    DeviceReport report(*this, index);
    UpgradeSession session({address, request_.setPassword, request_.onePagePerPacket}, pinger_,
                           timings_, stop_, makeTransport_, report);
    const bool completed = session.run(firmware_);
    const bool stopped = !completed && stop_.requested();
    // The row before the closing one says why.
    const std::string reason = reasonOf(report.lastRow());
    if (!completed && !stopped) {
        report.AppendStatus(tagOf(ConsoleMode::FirmwareFile),
                            "> System update has not completed.\n");
    }
    std::lock_guard lock(mutex_);
    BatchDeviceStatus& device = devices_[index];
    device.duration =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - began_[index]);
    if (completed) {
        device.state = BatchDeviceState::Completed;
    } else if (stopped) {
        device.state = BatchDeviceState::NotFinished;
        device.result = "stopped";
    } else {
        device.state = BatchDeviceState::Failed;
        device.result = reason.empty() ? "failed" : reason;
    }
}

}  // namespace vantor
