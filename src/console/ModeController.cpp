#include "console/ModeController.h"

#include <array>

#include "assign/AnnouncementWire.h"
#include "base/Ipv4.h"

namespace vantor {

namespace {

using Step = ModeController::Step;
constexpr std::string_view kListening = "> Listening.....\r\n";
constexpr std::string_view kPlaceholderImages =
    "> Warning: boot images are placeholders; a device cannot boot them; see README\r\n";

std::string nicLine(std::size_t index, const std::string& address) {
    return "    - NIC" + std::to_string(index + 1) + ": " + address + "\r\n";
}

// The switches, one row each: the steps in their order. A switch that is not in the table
// is not made (Recovery and firmware-file mode are entered from Auto and Manual only).
constexpr std::array kManualToAuto{Step::SetMode,       Step::ShowModeControls,
                                   Step::DisableRadios, Step::StartListening,
                                   Step::StartWatcher,  Step::EnableRadios};
constexpr std::array kRecoveryToAuto{
    Step::SetMode,        Step::ShowModeControls, Step::DisableRadios, Step::StopRecovery,
    Step::StartListening, Step::StartWatcher,     Step::EnableRadios};
constexpr std::array kFirmwareToAuto{Step::SetMode,     Step::ShowModeControls, Step::DisableRadios,
                                     Step::StopUpgrade, Step::StartListening,   Step::StartWatcher,
                                     Step::EnableRadios};
constexpr std::array kAutoToManual{Step::SetMode,       Step::ShowModeControls, Step::StopWatcher,
                                   Step::DisableRadios, Step::StopListening,    Step::PrepareManual,
                                   Step::EnableRadios};
constexpr std::array kRecoveryToManual{
    Step::SetMode,      Step::ShowModeControls, Step::StopWatcher, Step::DisableRadios,
    Step::StopRecovery, Step::PrepareManual,    Step::EnableRadios};
constexpr std::array kFirmwareToManual{
    Step::SetMode,     Step::ShowModeControls, Step::ClearIpFields, Step::DisableRadios,
    Step::StopUpgrade, Step::PrepareManual,    Step::EnableRadios};
constexpr std::array kAutoToRecovery{Step::SetMode,
                                     Step::ShowModeControls,
                                     Step::StopWatcher,
                                     Step::DisableRadios,
                                     Step::StopListening,
                                     Step::ClearServerAddress,
                                     Step::BannerInstructions,
                                     Step::ResetRecoveryFields,
                                     Step::StartRecovery,
                                     Step::StartWatcher,
                                     Step::EnableRadios};
constexpr std::array kManualToRecovery{
    Step::SetMode,       Step::ShowModeControls,    Step::BannerInstructions,
    Step::DisableRadios, Step::ResetRecoveryFields, Step::StartRecovery,
    Step::StartWatcher,  Step::EnableRadios};
constexpr std::array kAutoToFirmware{
    Step::MakeUpgradeDriver,   Step::ShowModeControls, Step::SetMode,
    Step::StopWatcher,         Step::DisableRadios,    Step::StopListening,
    Step::PrepareFirmwareFile, Step::EnableRadios};
constexpr std::array kManualToFirmware{
    Step::MakeUpgradeDriver,   Step::ShowModeControls, Step::SetMode,
    Step::ClearMacFields,      Step::LockMacFields,    Step::DisableRadios,
    Step::PrepareFirmwareFile, Step::EnableRadios};

using Mode = ConsoleMode;
const std::array<ModeController::Transition, 10> kTransitions{{
    {Mode::Manual, Mode::Auto, kManualToAuto},
    {Mode::Recovery, Mode::Auto, kRecoveryToAuto},
    {Mode::FirmwareFile, Mode::Auto, kFirmwareToAuto},
    {Mode::Auto, Mode::Manual, kAutoToManual},
    {Mode::Recovery, Mode::Manual, kRecoveryToManual},
    {Mode::FirmwareFile, Mode::Manual, kFirmwareToManual},
    {Mode::Auto, Mode::Recovery, kAutoToRecovery},
    {Mode::Manual, Mode::Recovery, kManualToRecovery},
    {Mode::Auto, Mode::FirmwareFile, kAutoToFirmware},
    {Mode::Manual, Mode::FirmwareFile, kManualToFirmware},
}};

constexpr std::array kListenerNeeds{Privilege::ArpAndRoutes, Privilege::Echo};
constexpr std::array kRecoveryNeeds{Privilege::BootPorts, Privilege::ArpAndRoutes, Privilege::Echo};
constexpr std::array kUpgradeNeeds{Privilege::Echo};

}  // namespace

std::span<const Privilege> ModeController::privilegesOf(ConsoleMode mode) {
    switch (mode) {
        case ConsoleMode::Auto:
        case ConsoleMode::Manual:
            return kListenerNeeds;
        case ConsoleMode::Recovery:
            return kRecoveryNeeds;
        case ConsoleMode::FirmwareFile:
            return kUpgradeNeeds;
        case ConsoleMode::Switching:
            break;
    }
    return {};
}

std::optional<ModeController::Transition> ModeController::transition(ConsoleMode from,
                                                                     ConsoleMode to) {
    for (const Transition& row : kTransitions) {
        if (row.from == from && row.to == to) {
            return row;
        }
    }
    return std::nullopt;
}

ModeController::ModeController(Parts parts)
    : parts_(parts),
      listeners_(listenerThreads_, [this] { parts_.dispatcher.notify(); }),
      recoveryListeners_(recoveryThreads_, [this] { parts_.dispatcher.notify(); }),
      watcher_(parts.run, parts.interfaces, parts.report, parts.ticker, switchLock_,
               [this](ConsoleMode watched) { restart(watched); }) {}

ModeController::~ModeController() {
    stopAll();
}

void ModeController::enterFirstMode(const std::function<void()>& beforeWatch) {
    UiLock guard(switchLock_, parts_.dispatcher);
    parts_.run.setMode(ConsoleMode::Auto);
    startListening(true);
    beforeWatch();
    watcher_.start();
}

void ModeController::switchTo(ConsoleMode to) {
    UiLock guard(switchLock_, parts_.dispatcher);
    const auto row = transition(parts_.run.mode(), to);
    if (!row) {
        return;
    }
    for (Step step : row->steps) {
        run(step, to);
    }
}

void ModeController::stopAll() {
    UiLock guard(switchLock_, parts_.dispatcher);
    parts_.run.setMode(ConsoleMode::Switching);
    watcher_.stop();
    stopListening();
    stopRecovery();
    stopUpgrade();
}

void ModeController::run(Step step, ConsoleMode to) {
    ConsolePanel& panel = parts_.panel;
    switch (step) {
        case Step::SetMode:
            parts_.run.setMode(to);
            break;
        case Step::StopWatcher:
            watcher_.stop();
            break;
        case Step::StartWatcher:
            watcher_.start();
            break;
        case Step::DisableRadios:
            panel.enableModeRadios(false);
            break;
        case Step::EnableRadios:
            panel.enableModeRadios(true);
            break;
        case Step::StopListening:
            stopListening();
            break;
        case Step::StartListening:
            startListening();
            break;
        case Step::StopRecovery:
            stopRecovery();
            break;
        case Step::ResetRecoveryFields:
            resetRecoveryFields();
            break;
        case Step::StartRecovery:
            startRecovery();
            break;
        case Step::MakeUpgradeDriver:
            if (upgradeDriver_ == nullptr) {
                upgradeDriver_ = parts_.factory.makeUpgradeDriver(parts_.ports);
            }
            break;
        case Step::StopUpgrade:
            stopUpgrade();
            break;
        case Step::ShowModeControls:
            panel.showControlsOf(to);
            break;
        case Step::ClearIpFields:
            panel.clearIpFields();
            break;
        case Step::ClearMacFields:
            panel.clearMacFields();
            break;
        case Step::LockMacFields:
            panel.setMacReadOnly(true);
            break;
        case Step::ClearServerAddress:
            parts_.report.setServerAddress("");
            break;
        case Step::BannerInstructions:
            parts_.report.setBannerState(BannerState::Instructions);
            break;
        case Step::PrepareManual:
            prepareManual();
            break;
        case Step::PrepareFirmwareFile:
            prepareFirmwareFile();
            break;
    }
}

// ---- The steps that take more than one call -----------------------------------------------

void ModeController::warnOfPrivileges(ConsoleMode mode, bool startUp) {
    if (!parts_.privilegeWarning) {
        return;
    }
    // Entering a mode clears the log, and with it any earlier warning: each mode says again
    // what its own workers will be refused.
    const std::string warning = parts_.privilegeWarning(
        startUp ? std::span<const Privilege>(kEveryPrivilege) : privilegesOf(mode));
    if (!warning.empty()) {
        parts_.report.appendStatus(tagOf(mode), warning);
    }
}

void ModeController::startListening(bool startUp) {
    ConsoleReport& report = parts_.report;
    ConsolePanel& panel = parts_.panel;
    report.setBannerState(BannerState::Instructions);
    panel.change([](ControlBoard& board) {
        board.setChecked(ControlId::RadioAuto, true);
        board.setChecked(ControlId::RadioManual, false);
        board.setEnabled(ControlId::SetButton, false);
        board.setEnabled(ControlId::ClearCheck, false);
    });
    panel.setMacReadOnly(true);
    panel.enableMacFields(false);
    panel.setIpReadOnly(true);
    panel.clearMacFields();
    panel.clearIpFields();
    report.setServerAddress("");
    report.clearStatus();
    const std::vector<std::uint32_t> addresses =
        parts_.interfaces.listForMode(ConsoleMode::Auto, report);
    report.forgetDevice();
    parts_.heard.beginListening();
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        auto listener = parts_.factory.makeListener(parts_.ports, addresses[i], kAnnouncePort);
        report.appendStatus(tagOf(ConsoleMode::Auto), nicLine(i, Ipv4::format(addresses[i])));
        listeners_.start(std::move(listener));
    }
    warnOfPrivileges(ConsoleMode::Auto, startUp);
    report.appendStatus(tagOf(ConsoleMode::Auto), "\r\n" + std::string(kListening));
}

void ModeController::stopListening() {
    listeners_.stopAll();
    parts_.run.waitUntil([&] { return listenerThreads_.load() == 0 && listeners_.allEnded(); });
    listeners_.clear();
}

void ModeController::startRecovery() {
    ConsoleReport& report = parts_.report;
    report.clearStatus();
    // First and once for all interfaces: what the devices will be sent (a device sent a
    // stand-in or damaged kernel hangs in its boot).
    for (const std::string& row : parts_.factory.loadRecoveryKit()) {
        report.appendStatus(tagOf(ConsoleMode::Recovery), row);
    }
    if (parts_.factory.bootImagesArePlaceholders()) {
        report.appendStatus(tagOf(ConsoleMode::Recovery), std::string(kPlaceholderImages));
    }
    const std::vector<std::uint32_t> addresses =
        parts_.interfaces.listForMode(ConsoleMode::Recovery, report);
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        auto listener = parts_.factory.makeRecoveryListener(parts_.ports, addresses[i]);
        report.appendStatus(tagOf(ConsoleMode::Recovery), nicLine(i, Ipv4::format(addresses[i])));
        recoveryListeners_.start(std::move(listener));
    }
    warnOfPrivileges(ConsoleMode::Recovery);
    report.appendStatus(tagOf(ConsoleMode::Recovery), std::string(kListening));
}

void ModeController::stopRecovery() {
    recoveryListeners_.stopAll();
    parts_.run.waitUntil(
        [&] { return recoveryThreads_.load() == 0 && recoveryListeners_.allEnded(); });
    recoveryListeners_.clear();
    parts_.run.allowRestart(true);
}

void ModeController::stopUpgrade() {
    if (upgradeDriver_ != nullptr) {
        upgradeDriver_->requestStop();
    }
    parts_.run.waitUntil([&] { return !upgradeActive(); });
}

void ModeController::resetRecoveryFields() {
    ConsolePanel& panel = parts_.panel;
    panel.clearMacFields();
    panel.clearIpFields();
    panel.setIpReadOnly(true);
    panel.setMacReadOnly(true);
    panel.change([](ControlBoard& board) {
        board.setEnabled(ControlId::ClearCheck, false);
        board.setEnabled(ControlId::SetButton, false);
    });
    parts_.report.setNoticeLine("");
}

void ModeController::prepareManual() {
    ConsolePanel& panel = parts_.panel;
    parts_.report.setServerAddress("");
    parts_.report.setBannerState(BannerState::Instructions);
    panel.enableMacFields(true);
    panel.prefillMacOui();
    panel.change([](ControlBoard& board) { board.setEnabled(ControlId::ClearCheck, true); });
    panel.setMacReadOnly(false);
    panel.setIpReadOnly(false);
    panel.change([](ControlBoard& board) { board.setEnabled(ControlId::SetButton, true); });
    parts_.report.setNoticeLine("");
    parts_.report.clearStatus();
    warnOfPrivileges(ConsoleMode::Manual);
}

void ModeController::prepareFirmwareFile() {
    ConsolePanel& panel = parts_.panel;
    parts_.report.setServerAddress("");
    panel.change([](ControlBoard& board) { board.setText(ControlId::PasswordEdit, ""); });
    parts_.report.setBannerState(BannerState::Instructions);
    panel.change([](ControlBoard& board) { board.setEnabled(ControlId::SetButton, false); });
    panel.setMacReadOnly(true);
    panel.enableMacFields(false);
    panel.setIpReadOnly(false);
    parts_.report.clearStatus();
    warnOfPrivileges(ConsoleMode::FirmwareFile);
    panel.change([](ControlBoard& board) {
        board.focus(board.text(ControlId::Ip1).empty() ? ControlId::Ip1 : ControlId::PasswordEdit);
    });
}

// ---- Interface watcher --------------------------------------------------------------------

void ModeController::restart(ConsoleMode watched) {
    parts_.run.setMode(ConsoleMode::Switching);
    if (watched == ConsoleMode::Auto) {
        stopListening();
    } else {
        stopRecovery();
    }
    parts_.run.setMode(watched);
    if (watched == ConsoleMode::Auto) {
        startListening();
    } else {
        startRecovery();
    }
}

}  // namespace vantor
