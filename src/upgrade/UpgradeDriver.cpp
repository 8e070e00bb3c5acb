#include "upgrade/UpgradeDriver.h"

#include <array>
#include <system_error>
#include <vector>

#include "upgrade/CodeUpdateWire.h"
#include "upgrade/FirmwareOpening.h"
#include "upgrade/MemberSelection.h"
#include "upgrade/UdpCodeUpdateTransport.h"
#include "upgrade/UpdateFile.h"
#include "upgrade/UpgradeLimits.h"
#include "upgrade/UpgradeSession.h"

namespace vantor {

namespace {

std::unique_ptr<CodeUpdateTransport> udpTransport(const std::string& deviceIp, int wakeFd) {
    return UdpCodeUpdateTransport::open(deviceIp, kCodeUpdatePort, wakeFd);
}

// A single Update's session reports to the console directly.
class ConsoleSessionReport final : public UpgradeSessionReport {
  public:
    explicit ConsoleSessionReport(WorkerPorts& ports) : ports_(ports) {}
    void AppendStatus(int statusTag, const std::string& text) override {
        ports_.report.appendStatus(statusTag, text);
    }
    void message(const std::string& text) override { ports_.report.showMessage(text); }
    void enableModeRadios(bool on) override { ports_.panel.enableModeRadios(on); }
    void progress(std::string_view region, std::uint64_t done, std::uint64_t total) override {
        ports_.report.reportProgress({"", std::string(region), done, total});
    }

  private:
    WorkerPorts& ports_;
};

// A single Update opens the archive once the device has answered and reads each member just
// before it is sent, into the driver's image.
class ArchiveImageSource final : public UpgradeImageSource {
  public:
    ArchiveImageSource(const std::string& archivePath, UpdateImage& image)
        : archivePath_(archivePath), image_(image) {}

    std::optional<MemberSelection> members(UpgradeSessionReport& report) override {
        const auto log = [&](const std::string& text) {
            report.AppendStatus(tagOf(ConsoleMode::FirmwareFile), text);
        };
        return openFirmwareArchive(archive_, archivePath_, log);
    }

    const UpdateImage* image(std::size_t member, bool hasHeader, std::uint8_t fileType,
                             UpgradeSessionReport& report) override {
        if (!hasHeader) {
            image_.fileType = fileType;
        }
        if (readUpdateFile(archive_, member, hasHeader, archivePath_, image_, report) > 0) {
            return &image_;
        }
        if (archive_.error() == ArchiveError::BadPassword) {
            report.message("bad password");
        }
        return nullptr;
    }

  private:
    const std::string& archivePath_;
    UpdateImage& image_;
    FirmwareArchive archive_;
};

}  // namespace

UpgradeDriver::UpgradeDriver(WorkerPorts& ports) : UpgradeDriver(ports, udpTransport) {}

UpgradeDriver::UpgradeDriver(WorkerPorts& ports, TransportFactory makeTransport)
    : ports_(ports),
      makeTransport_(std::move(makeTransport)),
      batch_(ports_.report, ports_.pinger, ports_.timings, makeTransport_) {}

UpgradeDriver::~UpgradeDriver() {
    requestStop();
    // Normally the console has waited for the run already; otherwise keep serving the worker's
    // requests to the user-interface thread until it is done with the console.
    ports_.gate.waitUntil([&] { return !active(); });
    if (worker_.joinable()) {
        worker_.join();
    }
}

void UpgradeDriver::log(const std::string& text) {
    ports_.report.appendStatus(tagOf(ConsoleMode::FirmwareFile), text);
}

void UpgradeDriver::enableRunControls(bool on) {
    ports_.panel.enableModeRadios(on);
    ports_.panel.enable(ControlId::BrowseButton, on);
    ports_.panel.enable(ControlId::UpdateButton, on);
}

bool UpgradeDriver::active() const {
    return activeRuns_.load() > 0;
}

UpgradeRuns UpgradeDriver::runs() const {
    std::lock_guard lock(runsMutex_);
    return runs_;
}

void UpgradeDriver::requestStop() {
    stop_.request();
    batch_.requestStop();
}

std::vector<BatchDeviceStatus> UpgradeDriver::batchStatus() const {
    return batch_.status();
}

bool UpgradeDriver::batchActive() const {
    return batchRunning_.load();
}

bool UpgradeDriver::startBatch(const BatchRequest& request) {
    // One run at a time, a single Update or a batch.
    if (active()) {
        return false;
    }
    ports_.report.setBannerState(BannerState::Instructions);
    ports_.panel.clearStatus();
    enableRunControls(false);
    ++activeRuns_;
    batchRunning_ = true;
    if (!batch_.start(request, [this] { batchEnded(); })) {
        log("> System update has not completed.\n");
        log("> ready...\n");
        enableRunControls(true);
        batchRunning_ = false;
        --activeRuns_;
        return false;
    }
    return true;
}

void UpgradeDriver::batchEnded() {
    int completed = 0;
    const std::vector<BatchDeviceStatus> devices = batch_.status();
    for (const BatchDeviceStatus& device : devices) {
        completed += device.state == BatchDeviceState::Completed ? 1 : 0;
    }
    log("> " + std::to_string(completed) + " of " + std::to_string(devices.size()) +
        " devices upgraded\n");
    log("> ready...\n");
    enableRunControls(true);
    batchRunning_ = false;
    // Last: once the count is 0 the console may go on (or go away).
    --activeRuns_;
    ports_.gate.workerEnded();
}

// ---- Handlers -------------------------------------------------------------------------------

void UpgradeDriver::OnBrowse() {
    if (const auto path = ports_.panel.chooseFile(std::string(kZipFileFilter))) {
        ports_.panel.setText(ControlId::FirmwarePath, *path);
    }
    ports_.report.setBannerState(BannerState::Instructions);
}

void UpgradeDriver::OnUpdate() {
    // Update is disabled while a run lasts; a press that still arrives must neither start a
    // second run nor clear the running one's lines.
    if (active()) {
        return;
    }
    ports_.report.setBannerState(BannerState::Instructions);
    ports_.panel.clearStatus();
    const std::string path = ports_.panel.text(ControlId::FirmwarePath);
    if (path.empty()) {
        ports_.panel.focus(ControlId::UpdateButton);
        ports_.panel.showMessage("Error! Firmware file is not entered.", MessageIcon::None);
        return;
    }
    const std::string password = ports_.panel.text(ControlId::PasswordEdit);
    if (password.empty()) {
        ports_.panel.focus(ControlId::PasswordEdit);
        ports_.panel.showMessage("Error! Password is not entered.", MessageIcon::None);
        return;
    }
    setPassword_ = password;
    if (!ports_.panel.validDeviceIp()) {
        log("> Error: Invalid IP address\r\n");
        log("> Ready...\r\n");
        return;
    }
    const IpTexts ip = ports_.panel.ipTexts();
    deviceIp_ = ip[0] + "." + ip[1] + "." + ip[2] + "." + ip[3];
    onePagePerPacket_ = ports_.panel.checked(ControlId::OnePageCheck);
    archivePath_ = path;
    startUpgrade();
}

void UpgradeDriver::startUpgrade() {
    // The previous run has ended (its counter is 0); its thread has at most to return.
    if (worker_.joinable()) {
        worker_.join();
    }
    stop_.clear();
    // Disabled here, before the worker exists, so that no second press or mode switch can slip
    // in before the run's first step.
    enableRunControls(false);
    // One count for the whole run, handed to the worker, which gives it back when it is done
    // with the console: the console never sees 0 while a worker is starting or running.
    ++activeRuns_;
    {
        std::lock_guard lock(runsMutex_);
        ++runs_.started;
    }
    try {
        worker_ = std::thread([this] { upgradeThread(); });
    } catch (const std::system_error&) {
        enableRunControls(true);
        {
            std::lock_guard lock(runsMutex_);
            ++runs_.ended;
            runs_.lastSucceeded = false;
        }
        --activeRuns_;
        ports_.gate.workerEnded();
    }
}

// ---- The run --------------------------------------------------------------------------------

void UpgradeDriver::upgradeThread() {
    const bool succeeded = runUpgrade();
    if (succeeded) {
        ports_.report.setServerAddress(deviceIp_);
        ports_.report.setBannerState(BannerState::DeviceReady);
    } else {
        log("> System update has not completed.\n");
        log("> ready...\n");
    }
    enableRunControls(true);
    {
        std::lock_guard lock(runsMutex_);
        ++runs_.ended;
        runs_.lastSucceeded = succeeded;
    }
    // Last: once the count is 0 the console may go on (or go away).
    --activeRuns_;
    ports_.gate.workerEnded();
}

bool UpgradeDriver::runUpgrade() {
    enableRunControls(false);
    ConsoleSessionReport report(ports_);
    UpgradeSession session({deviceIp_, setPassword_, onePagePerPacket_}, ports_.pinger,
                           ports_.timings, stop_, makeTransport_, report);
    ArchiveImageSource images(archivePath_, image_);
    return session.run(images);
}

}  // namespace vantor
