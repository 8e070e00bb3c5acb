#include "upgrade/UpgradeDriver.h"

#include <array>
#include <system_error>
#include <vector>

#include "base/FileProblem.h"
#include "base/PrintableText.h"
#include "hostnet/PrivilegeCheck.h"
#include "upgrade/CodeUpdateSender.h"
#include "upgrade/CodeUpdateWire.h"
#include "upgrade/MemberSelection.h"
#include "upgrade/UdpCodeUpdateTransport.h"
#include "upgrade/UpdateFile.h"
#include "upgrade/UpgradeLimits.h"

namespace vantor {

namespace {

std::unique_ptr<CodeUpdateTransport> udpTransport(const std::string& deviceIp, int wakeFd) {
    return UdpCodeUpdateTransport::open(deviceIp, kCodeUpdatePort, wakeFd);
}

// The sender's and the update file reader's rows, into the status log.
class ReportStatusSink final : public StatusSink {
  public:
    explicit ReportStatusSink(ReportPort& report) : report_(report) {}
    void AppendStatus(int statusTag, const std::string& text) override {
        report_.appendStatus(statusTag, text);
    }

  private:
    ReportPort& report_;
};

}  // namespace

UpgradeDriver::UpgradeDriver(WorkerPorts& ports) : UpgradeDriver(ports, udpTransport) {}

UpgradeDriver::UpgradeDriver(WorkerPorts& ports, TransportFactory makeTransport)
    : ports_(ports), makeTransport_(std::move(makeTransport)) {}

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

bool UpgradeDriver::readMember(FirmwareArchive& archive, std::size_t index, StatusSink& status) {
    if (readUpdateFile(archive, index, hasHeader_, archivePath_, image_, status) > 0) {
        return true;
    }
    if (archive.error() == ArchiveError::BadPassword) {
        ports_.report.showMessage("bad password");
    }
    return false;
}

bool UpgradeDriver::waitForReboot() {
    log("> Waiting to complete upgrade, Do Not Unplug.\n");
    for (int check = 0; check < kUpgradeRebootChecks; ++check) {
        // One echo attempt at a time: the same as one call of 30 attempts, but a stop request
        // is seen between them rather than after half a minute.
        for (int attempt = 0; attempt < kUpgradeRebootAttempts; ++attempt) {
            if (stop_.requested()) {
                return false;
            }
            if (ports_.pinger.PingHost(deviceIp_, 1, kUpgradePingDataSize)) {
                log("> System reboot completed.\n");
                return true;
            }
        }
        if (!stop_.sleepFor(ports_.timings.rebootCheckPause)) {
            return false;
        }
    }
    ports_.report.showMessage("Cannot ping the device");
    return false;
}

bool UpgradeDriver::runUpgrade() {
    hasHeader_ = true;
    enableRunControls(false);
    if (!ports_.pinger.PingHost(deviceIp_, kUpgradeReachAttempts, kUpgradePingDataSize)) {
        if (!ports_.pinger.CanSendEcho()) {
            // The device may well answer: this PC may not ask.
            static constexpr std::array kEcho{Privilege::Echo};
            log("> Error: This PC cannot send pings, so whether the system on IP address " +
                deviceIp_ + " responds is not known. " + PrivilegeCheck::Remedy(kEcho) + "\n");
        } else {
            log("> System on IP address  " + deviceIp_ + " is not responding.\n");
        }
        return false;
    }
    if (stop_.requested()) {
        return false;
    }

    FirmwareArchive archive;
    if (!archive.Open(archivePath_)) {
        log(archive.error() == ArchiveError::NoEndRecord
                ? "> File format is not correct."
                : "> Error! Unrecognized firmware file: You may selected a wrong zip file.\n");
        // The line above blames the archive's contents; a file that cannot be opened at all
        // is told as what it is, so that the operator looks at the path, not the archive.
        if (archive.error() == ArchiveError::FileError) {
            if (const auto problem = readableFileProblem(archivePath_)) {
                log("> " + printableText(archivePath_) + ": " + *problem + "\n");
            }
        }
        return false;
    }
    archive.SetPassword(kArchivePassword);
    std::vector<std::string> names;
    for (std::size_t index = 0; index < archive.Count(); ++index) {
        names.push_back(archive.EntryName(index));
    }
    const MemberSelection members = selectMembers(names);
    if (!members.refusal.empty()) {
        log(members.refusal);
        return false;
    }

    const std::unique_ptr<CodeUpdateTransport> transport =
        makeTransport_(deviceIp_, stop_.wakeFd());
    if (!transport) {
        return false;
    }
    ReportStatusSink status(ports_.report);
    CodeUpdateSender sender(*transport, status, ports_.timings, stop_,
                            [this](bool on) { ports_.panel.enableModeRadios(on); });
    // No update file header has been read in this run yet: any model is taken until one is.
    CodeUpdateSettings settings{setPassword_, onePagePerPacket_, hasHeader_, std::nullopt};
    const auto transfer = [&](std::uint8_t kind) {
        settings.hasHeader = hasHeader_;
        return sender.transferFile(kind, image_, settings) == 1;
    };

    if (members.microcode) {
        if (!readMember(archive, *members.microcode, status)) {
            return false;
        }
        settings.model = image_.model;
        log("> Sending the new microcode to the remote system\n");
        if (image_.fileType == TYPE_MICROCODE && !transfer(KIND_TAIL)) {
            return false;
        }
        if (!transfer(image_.fileType) || !waitForReboot()) {
            return false;
        }
    }
    if (members.bin) {
        sender.setVersionFallback(false);
        if (!transfer(KIND_MODEL_QUERY)) {
            return false;
        }
        hasHeader_ = false;
        image_.fileType = TYPE_BIN;
        if (!readMember(archive, *members.bin, status)) {
            return false;
        }
        log("> Sending the new microcode to the remote system\n");
        if (!transfer(TYPE_BIN)) {
            return false;
        }
    }
    if (members.logoOnly()) {
        sender.setVersionFallback(false);
        if (!transfer(KIND_MODEL_QUERY)) {
            return false;
        }
    }
    if (members.logo) {
        hasHeader_ = false;
        image_.fileType = TYPE_LOGO;
        if (!readMember(archive, *members.logo, status)) {
            return false;
        }
        log("> Sending the new gif logo to the remote system\n");
        if (!transfer(TYPE_LOGO)) {
            return false;
        }
    }
    archive.Close();
    log("> Upgrade Complete\n");
    return true;
}

}  // namespace vantor
