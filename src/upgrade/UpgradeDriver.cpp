#include "upgrade/UpgradeDriver.h"

#include <system_error>
#include <vector>

#include "console/Constants.h"
#include "console/OperatorConsole.h"
#include "upgrade/CodeUpdateSender.h"
#include "upgrade/ConsoleStatusSink.h"
#include "upgrade/MemberSelection.h"
#include "upgrade/UdpCodeUpdateTransport.h"
#include "upgrade/UpdateFile.h"

namespace vantor {

namespace {

std::unique_ptr<CodeUpdateTransport> udpTransport(const std::string& deviceIp, int wakeFd) {
    return UdpCodeUpdateTransport::open(deviceIp, kCodeUpdatePort, wakeFd);
}

}  // namespace

UpgradeDriver::UpgradeDriver(OperatorConsole& console) : UpgradeDriver(console, udpTransport) {}

UpgradeDriver::UpgradeDriver(OperatorConsole& console, TransportFactory makeTransport)
    : console_(console), makeTransport_(std::move(makeTransport)) {}

UpgradeDriver::~UpgradeDriver() {
    requestStop();
    // Normally the console has waited for the run already; otherwise keep serving the worker's
    // requests to the user-interface thread until it is done with the console.
    console_.WaitUntil([&] { return console_.upgradeActiveCount.load() == 0; });
    if (worker_.joinable()) {
        worker_.join();
    }
}

void UpgradeDriver::log(const std::string& text) {
    console_.AppendStatus(tagOf(ConsoleMode::FirmwareFile), text);
}

void UpgradeDriver::enableRunControls(bool on) {
    console_.EnableModeRadios(on);
    console_.EnableControl(ControlId::BrowseButton, on);
    console_.EnableControl(ControlId::UpdateButton, on);
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
    if (const auto path = console_.ChooseFile(std::string(kZipFileFilter))) {
        console_.SetControlText(ControlId::FirmwarePath, *path);
    }
    console_.SetBannerState(BannerState::Instructions);
}

void UpgradeDriver::OnUpdate() {
    // Update is disabled while a run lasts; a press that still arrives must neither start a
    // second run nor clear the running one's lines.
    if (console_.upgradeActiveCount.load() > 0) {
        return;
    }
    console_.SetBannerState(BannerState::Instructions);
    {
        UiLock lock(console_.logLock, console_.dispatcher());
        console_.ClearStatus();
    }
    const std::string path = console_.ControlText(ControlId::FirmwarePath);
    if (path.empty()) {
        console_.FocusControl(ControlId::UpdateButton);
        console_.ShowMessage("Error! Firmware file is not entered.", MessageIcon::None);
        return;
    }
    const std::string password = console_.ControlText(ControlId::PasswordEdit);
    if (password.empty()) {
        console_.FocusControl(ControlId::PasswordEdit);
        console_.ShowMessage("Error! Password is not entered.", MessageIcon::None);
        return;
    }
    setPassword_ = password;
    if (!console_.IsValidDeviceIp()) {
        log("> Error: Invalid IP address\r\n");
        log("> Ready...\r\n");
        return;
    }
    const IpTexts ip = console_.ipTexts();
    deviceIp_ = ip[0] + "." + ip[1] + "." + ip[2] + "." + ip[3];
    onePagePerPacket_ = console_.IsChecked(ControlId::OnePageCheck);
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
    ++console_.upgradeActiveCount;
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
        --console_.upgradeActiveCount;
        console_.WorkerEnded();
    }
}

// ---- The run --------------------------------------------------------------------------------

void UpgradeDriver::upgradeThread() {
    const bool succeeded = runUpgrade();
    if (succeeded) {
        console_.setServerIP(deviceIp_);
        console_.SetBannerState(BannerState::DeviceReady);
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
    --console_.upgradeActiveCount;
    console_.WorkerEnded();
}

bool UpgradeDriver::readMember(FirmwareArchive& archive, std::size_t index, StatusSink& status) {
    if (readUpdateFile(archive, index, hasHeader_, archivePath_, image_, status) > 0) {
        return true;
    }
    if (archive.error() == ArchiveError::BadPassword) {
        console_.ShowMessageFromWorker("bad password");
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
            if (console_.PingHost(deviceIp_, 1, kUpgradePingDataSize)) {
                log("> System reboot completed.\n");
                return true;
            }
        }
        if (!stop_.sleepFor(console_.timings().rebootCheckPause)) {
            return false;
        }
    }
    console_.ShowMessageFromWorker("Cannot ping the device");
    return false;
}

bool UpgradeDriver::runUpgrade() {
    hasHeader_ = true;
    enableRunControls(false);
    if (!console_.PingHost(deviceIp_, kUpgradeReachAttempts, kUpgradePingDataSize)) {
        log("> System on IP address  " + deviceIp_ + " is not responding.\n");
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
    ConsoleStatusSink status(console_);
    CodeUpdateSender sender(*transport, status, console_.timings(), stop_,
                            [this](bool on) { console_.EnableModeRadios(on); });
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
