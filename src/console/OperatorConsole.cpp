#include "console/OperatorConsole.h"

#include "assign/ManualAssignment.h"
#include "console/Banner.h"
#include "console/ConsoleLimits.h"
#include "console/ConsoleView.h"
#include "console/HeardDevicesCsv.h"
#include "hostnet/IcmpPinger.h"
#include "hostnet/PrivilegeCheck.h"
#include "net/DirectUdpPortOpener.h"
#include "recovery/RememberedKitFolder.h"

namespace vantor {

namespace {

std::unique_ptr<Pinger> ownPingerUnless(Pinger* given, const Timings& timings, const RunState& run,
                                        NetworkAccess* network) {
    if (given != nullptr) {
        return nullptr;
    }
    return std::make_unique<IcmpPinger>(
        timings, IcmpSocketKind::Any, [&run] { return run.closing(); },
        network != nullptr ? network->rawIcmpSource() : RawIcmpSource());
}

std::unique_ptr<HostTools> toolsFor(const ConsoleServices& services, std::mutex& routeLock,
                                    const Timings& timings) {
    if (services.makeTools) {
        return services.makeTools(routeLock);
    }
    return std::make_unique<HostTools>(
        routeLock, timings, services.network != nullptr ? services.network->helper() : nullptr);
}

// Without privileges tools and sockets fail one by one; each mode says why, plainly.
ModeController::PrivilegeWarning privilegeWarning(const ConsoleServices& services) {
    if (!services.reportPrivileges) {
        return {};
    }
    std::function<PrivilegeState()> probe = services.probePrivileges;
    if (!probe && services.network != nullptr) {
        probe = [network = services.network] { return network->Probe(); };
    }
    return [probe](std::span<const Privilege> needed) {
        return PrivilegeCheck::StatusText(probe ? probe() : PrivilegeCheck::Probe(), needed);
    };
}

}  // namespace

OperatorConsole::OperatorConsole(ConsoleServices services)
    : timings_(services.timings),
      workerFactory_(services.workers),
      run_(dispatcher_, timings_),
      report_(dispatcher_, board_, view_, run_.modeFlag(), services.logFile),
      panel_(dispatcher_, board_, view_, report_, run_),
      // Queued: a listener never waits for the view.
      heard_([this](const HeardDevice& row) {
          dispatcher_.post([this, row] {
              if (view_ != nullptr) {
                  view_->heardDeviceChanged(row);
              }
          });
      }),
      interfaceTable_(services.interfaces),
      ownPinger_(ownPingerUnless(services.pinger, timings_, run_, services.network)),
      pinger_(services.pinger != nullptr ? *services.pinger : *ownPinger_, run_),
      tools_(toolsFor(services, routeLock_, timings_)),
      ownTicker_(services.watchTicker != nullptr
                     ? nullptr
                     : std::make_unique<PeriodicWatchTicker>(timings_.interfaceWatch)),
      ports_{
          report_,
          run_,
          panel_,
          interfaceTable_,
          *tools_,
          services.network != nullptr ? services.network->ports() : DirectUdpPortOpener::Shared(),
          pinger_,
          timings_,
          heard_},
      modes_({run_, report_, panel_, interfaceTable_, workerFactory_, ports_, heard_,
              services.watchTicker != nullptr ? *services.watchTicker : *ownTicker_, dispatcher_,
              privilegeWarning(services)}) {
    panel_.setDeviceOui(workerFactory_.deviceOui());
    panel_.setInitialState();
}

OperatorConsole::~OperatorConsole() {
    Shutdown();
    board_.attach(nullptr);
    view_ = nullptr;
    dispatcher_.close();
}

void OperatorConsole::attachView(ConsoleView* view) {
    view_ = view;
    board_.attach(view);
    report_.mirrorRows();
}

// ---- Start-up and shutdown ----------------------------------------------------------------

void OperatorConsole::Initialize() {
    dispatcher_.bindToCurrentThread();
    panel_.setTextLimits();
    board_.focus(ControlId::RadioAuto);
    run_.setWinsockReady(true);
    modes_.enterFirstMode([this] {
        report_.setBannerState(BannerState::Instructions);
        run_.allowRestart(true);
    });
    report_.resetBannerBlink();
}

void OperatorConsole::Shutdown() {
    if (!run_.beginShutdown()) {
        return;
    }
    modes_.stopAll();
}

// ---- Handlers -----------------------------------------------------------------------------

void OperatorConsole::OnRadioClicked(ControlId radio) {
    if (!board_.state(radio).enabled || run_.shutDown()) {
        return;
    }
    panel_.selectRadio(radio);  // the radios form one group: the click selects this one alone
    const ConsoleMode before = run_.mode();
    std::optional<ConsoleMode> target;
    for (ConsoleMode mode : {ConsoleMode::Auto, ConsoleMode::Manual, ConsoleMode::Recovery,
                             ConsoleMode::FirmwareFile}) {
        if (radioOf(mode) == radio) {
            target = mode;
        }
    }
    if (target && board_.checked(radio)) {
        modes_.switchTo(*target);
    }
    const ConsoleMode after = run_.mode();
    if (after == before && after != ConsoleMode::Switching) {
        panel_.selectRadio(radioOf(after));  // a click that switched nothing leaves the radio
    }
}

void OperatorConsole::OnExit() {
    if (view_ != nullptr) {
        view_->closeWindow();
    }
}

void OperatorConsole::OnAbout() {
    if (view_ != nullptr) {
        view_->showAbout();
    }
}

void OperatorConsole::OnRecoveryKitChosen() {
    if (run_.shutDown()) {
        return;
    }
    if (run_.mode() == ConsoleMode::Recovery) {
        modes_.restartRecovery();  // loads the kit again, and shows its rows
    } else {
        workerFactory_.loadRecoveryKit();  // for the About box and the Manual prefill
    }
    panel_.setDeviceOui(workerFactory_.deviceOui());
}

std::string OperatorConsole::recoveryKitDescription() const {
    return workerFactory_.recoveryKitDescription();
}

std::string OperatorConsole::rememberedRecoveryKit() const {
    return RememberedKitFolder::Load();
}

std::string OperatorConsole::recoveryKitMemoryFile() const {
    return RememberedKitFolder::File();
}

bool OperatorConsole::rememberRecoveryKit(const std::string& folder) {
    return RememberedKitFolder::Save(folder);
}

void OperatorConsole::OnTimerTick() {
    const Banner::Frame frame = report_.bannerTick();
    if (view_ != nullptr) {
        view_->showBanner(frame.pair, frame.firstImage, frame.asButton);
    }
}

void OperatorConsole::OnBanner() {
    if (serverIP().empty()) {
        panel_.showMessage("serverIP.IsEmpty", MessageIcon::None);
        report_.setBannerState(BannerState::Instructions);
        return;
    }
    const int result = view_ != nullptr ? view_->openUrl(deviceUrl()) : 0;
    if (result <= kShellSuccessThreshold) {
        report_.appendStatus(kTagAlways, "> Error: " + ShellErrorText(result) + ".\r\n");
    }
    if (run_.mode() == ConsoleMode::Recovery) {
        report_.setBannerState(BannerState::UpdateStatus);
    }
}

void OperatorConsole::OnBrowse() {
    if (FirmwareUpgrader* driver = modes_.upgradeDriver()) {
        driver->OnBrowse();
    }
}

void OperatorConsole::OnUpdate() {
    if (FirmwareUpgrader* driver = modes_.upgradeDriver()) {
        panel_.normalizeIpFields();
        driver->OnUpdate();
    }
}

void OperatorConsole::OnStopUpgrade() {
    if (FirmwareUpgrader* driver = modes_.upgradeDriver()) {
        driver->requestStop();
    }
}

void OperatorConsole::OnSet() {
    panel_.normalizeMacFields();
    panel_.normalizeIpFields();
    ManualAssignment(ports_).OnSet();
}

void OperatorConsole::ShowRoutingTable() {
    const std::string listing = tools_->LoadRoutingTable();
    if (!listing.empty() && view_ != nullptr) {
        view_->showRoutingTable(listing);
        return;
    }
    const RoutingTableBox box = HostTools::RoutingTableMessage(listing);
    panel_.showMessage(box.text, box.icon);
}

// ---- The list of devices heard --------------------------------------------------------------

void OperatorConsole::OnMakeCurrent(const MacOctets& mac) {
    const std::optional<HeardDevice> device = heard_.find(mac);
    if (!device || run_.mode() != ConsoleMode::Auto) {
        return;
    }
    report_.showDeviceMac(device->mac);
    report_.showDeviceIp(device->address);
    report_.setServerAddress(ipv4Text(device->address));
    report_.setBannerState(device->state == HeardState::Answering ? BannerState::DeviceReady
                                                                  : BannerState::Instructions);
}

void OperatorConsole::OnOpenDevicePage(const MacOctets& mac) {
    const std::optional<HeardDevice> device = heard_.find(mac);
    if (!device || view_ == nullptr) {
        return;
    }
    const int result =
        view_->openUrl("http://" + ipv4Text(device->address) + report_.devicePagePath());
    if (result <= kShellSuccessThreshold) {
        report_.appendStatus(kTagAlways, "> Error: " + ShellErrorText(result) + ".\r\n");
    }
}

void OperatorConsole::OnSaveHeardDevices() {
    if (view_ == nullptr) {
        return;
    }
    const std::optional<std::string> path = view_->chooseSaveFile(
        std::string(HeardDevicesCsv::kFilter), std::string(HeardDevicesCsv::kSuggestedName));
    if (!path) {
        return;
    }
    if (const std::optional<std::string> error = saveHeardDevices(*path)) {
        panel_.showMessage("Cannot save the list: " + *error, MessageIcon::Exclamation);
    }
}

std::optional<std::string> OperatorConsole::saveHeardDevices(const std::string& path) const {
    return HeardDevicesCsv::save(path, HeardDevicesCsv::text(heard_.rows()));
}

}  // namespace vantor
