#include "console/OperatorConsole.h"

#include <algorithm>
#include <cctype>

#include "assign/ManualAssignment.h"
#include "console/ConsoleView.h"
#include "console/Constants.h"
#include "console/Ipv4.h"
#include "hostnet/IcmpPinger.h"
#include "hostnet/PrivilegeCheck.h"

namespace vantor {

namespace {

constexpr std::string_view kHostNameWarning =
    "> Warning: The host name of this machine could not be obtained.\r\n";
constexpr std::string_view kListening = "> Listening.....\r\n";
constexpr std::string_view kLoopbackText = "127.0.0.1";

std::string nicLine(std::size_t index, const std::string& address) {
    return "    - NIC" + std::to_string(index + 1) + ": " + address + "\r\n";
}

}  // namespace

OperatorConsole::OperatorConsole(ConsoleServices services)
    : timings_(services.timings),
      interfaceSource_(services.interfaces),
      workerFactory_(services.workers),
      reportPrivileges_(services.reportPrivileges),
      ownPinger_(services.pinger != nullptr
                     ? nullptr
                     : std::make_unique<IcmpPinger>(timings_, IcmpSocketKind::Any,
                                                    [this] { return closing(); })),
      pinger_(services.pinger != nullptr ? *services.pinger : *ownPinger_),
      tools_(services.makeTools ? services.makeTools(routeLock)
                                : std::make_unique<HostTools>(routeLock, timings_)),
      log_(mode_),
      banner_(bannerLock),
      listenerList_(countListener, [this] { dispatcher_.notify(); }),
      recoveryList_(countThread, [this] { dispatcher_.notify(); }) {
    log_.setObserver(this);
    // The window as it is created, before Initialize.
    board_.setEnabled(ControlId::SetButton, false);
    board_.setEnabled(ControlId::ClearCheck, false);
    board_.setVisible(ControlId::RadioFirmwareFile, false);
    for (ControlId id : kFirmwareControls) {
        board_.setVisible(id, false);
    }
    for (ControlId id : kMacControls) {
        board_.setReadOnly(id, true);
    }
    for (ControlId id : kIpControls) {
        board_.setReadOnly(id, true);
    }
    board_.setReadOnly(ControlId::NoticeLine, true);
    board_.setVisible(ControlId::BannerButton, false);
}

OperatorConsole::~OperatorConsole() {
    Shutdown();
    board_.attach(nullptr);
    log_.setObserver(nullptr);
    dispatcher_.close();
}

void OperatorConsole::attachView(ConsoleView* view) {
    view_ = view;
    board_.attach(view);
    if (view != nullptr) {
        view->clearStatusRows();
        for (const std::string& row : log_.rows()) {
            view->appendStatusRow(row);
        }
    }
}

// ---- Status log -------------------------------------------------------------------------

void OperatorConsole::rowAppended(const std::string& text) {
    if (view_ != nullptr) {
        view_->appendStatusRow(text);
    }
}

void OperatorConsole::oldestRowsRemoved(std::size_t count) {
    if (view_ != nullptr) {
        view_->removeOldestStatusRows(count);
    }
}

void OperatorConsole::cleared() {
    if (view_ != nullptr) {
        view_->clearStatusRows();
    }
}

void OperatorConsole::AppendStatus(int statusTag, const std::string& text) {
    if (!log_.accepts(statusTag)) {
        return;  // dropped before the user-interface thread is bothered
    }
    onUi([&] { log_.append(statusTag, text); });
}

void OperatorConsole::ClearStatus() {
    onUi([&] { log_.clear(); });
}

void OperatorConsole::clearStatusHoldingLogLock() {
    UiLock lock(logLock, dispatcher_);
    ClearStatus();
}

// ---- Control helpers ----------------------------------------------------------------------

void OperatorConsole::onUi(const std::function<void()>& change) {
    dispatcher_.invoke(change);
}

void OperatorConsole::moveTo(ControlId id) {
    board_.focus(id);
}

void OperatorConsole::writeField(ControlId id, const std::string& text) {
    board_.setText(id, text);
    if (const auto next = AddressFields::moveOnAfterChange(id, text)) {
        moveTo(*next);
    }
}

void OperatorConsole::selectRadio(ControlId radio) {
    for (ControlId id : kModeRadios) {
        board_.setChecked(id, id == radio);
    }
}

void OperatorConsole::checkRadioOfMode() {
    const ConsoleMode current = mode_.load();
    if (current != ConsoleMode::Switching) {
        selectRadio(radioOf(current));
    }
}

void OperatorConsole::EnableModeRadios(bool on) {
    onUi([&] {
        for (ControlId id : kModeRadios) {
            board_.setEnabled(id, on);
        }
    });
}

void OperatorConsole::EnableControl(ControlId id, bool on) {
    onUi([&] { board_.setEnabled(id, on); });
}

void OperatorConsole::SetControlText(ControlId id, const std::string& text) {
    onUi([&] { board_.setText(id, text); });
}

void OperatorConsole::FocusControl(ControlId id) {
    onUi([&] { moveTo(id); });
}

void OperatorConsole::SetNoticeLine(const std::string& text) {
    onUi([&] { board_.setText(ControlId::NoticeLine, text); });
}

void OperatorConsole::clearNoticeLine() {
    UiLock lock(fieldLock, dispatcher_);
    SetNoticeLine("");
}

void OperatorConsole::ShowMessageFromWorker(const std::string& text) {
    dispatcher_.post([this, text] {
        if (view_ != nullptr) {
            view_->showMessage(text, MessageIcon::None);
        }
    });
}

void OperatorConsole::ShowMessage(const std::string& text, MessageIcon icon) {
    if (view_ != nullptr) {
        view_->showMessage(text, icon);
    }
}

std::optional<std::string> OperatorConsole::ChooseFile(const std::string& filter) {
    return view_ != nullptr ? view_->chooseFile(filter) : std::nullopt;
}

void OperatorConsole::ShowFirmwareControls(bool on) {
    onUi([&] {
        if (on) {
            board_.setText(ControlId::FirmwarePath, "");
        }
        for (ControlId id : kFirmwareControls) {
            board_.setVisible(id, on);
        }
        if (on) {
            board_.setChecked(ControlId::OnePageCheck, false);
        }
    });
}

// ---- Address fields -----------------------------------------------------------------------

void OperatorConsole::SetMacFields(const std::array<std::uint8_t, 6>& octets) {
    onUi([&] {
        for (std::size_t i = 0; i < kMacControls.size(); ++i) {
            writeField(kMacControls[i], AddressFields::macOctet(octets[i]));
        }
    });
}

void OperatorConsole::SetIpFields(const std::array<std::uint8_t, 4>& octets) {
    onUi([&] {
        for (std::size_t i = 0; i < kIpControls.size(); ++i) {
            writeField(kIpControls[i], std::to_string(octets[i]));
        }
    });
}

void OperatorConsole::ClearMacFields() {
    onUi([&] {
        for (ControlId id : kMacControls) {
            writeField(id, std::string(kBlankMarker));
        }
    });
}

void OperatorConsole::ClearIpFields() {
    onUi([&] {
        for (ControlId id : kIpControls) {
            writeField(id, std::string(kBlankMarker));
        }
    });
}

void OperatorConsole::SetMacReadOnly(bool on) {
    onUi([&] {
        for (ControlId id : kMacControls) {
            board_.setReadOnly(id, on);
        }
    });
}

void OperatorConsole::SetIpReadOnly(bool on) {
    onUi([&] {
        for (ControlId id : kIpControls) {
            board_.setReadOnly(id, on);
        }
    });
}

void OperatorConsole::EnableMacFields(bool on) {
    onUi([&] {
        for (ControlId id : kMacControls) {
            board_.setEnabled(id, on);
        }
    });
}

void OperatorConsole::PrefillMacOui() {
    onUi([&] {
        for (std::size_t i = 0; i < kDeviceOui.size(); ++i) {
            if (board_.text(kMacControls[i]) == kBlankMarker) {
                writeField(kMacControls[i], AddressFields::macOctet(kDeviceOui[i]));
                moveTo(kMacControls[i + 1]);
            }
        }
    });
}

MacTexts OperatorConsole::macTexts() const {
    MacTexts texts;
    for (std::size_t i = 0; i < kMacControls.size(); ++i) {
        texts[i] = board_.text(kMacControls[i]);
    }
    return texts;
}

IpTexts OperatorConsole::ipTexts() const {
    IpTexts texts;
    for (std::size_t i = 0; i < kIpControls.size(); ++i) {
        texts[i] = board_.text(kIpControls[i]);
    }
    return texts;
}

std::string OperatorConsole::GetMacText() const {
    return AddressFields::joinMac(macTexts());
}
std::string OperatorConsole::GetIpText() const {
    return AddressFields::joinIp(ipTexts());
}
bool OperatorConsole::IsValidMac() const {
    return AddressFields::isValidMac(macTexts());
}
bool OperatorConsole::IsValidDeviceIp() const {
    return AddressFields::isValidDeviceIp(ipTexts());
}

void OperatorConsole::OnFieldEdited(ControlId id, const std::string& text) {
    if (!AddressFields::isAddressField(id)) {
        board_.noteText(id, text);
        return;
    }
    std::string shown = text;
    if (AddressFields::isMacField(id)) {
        std::transform(shown.begin(), shown.end(), shown.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    }
    if (shown != text) {
        board_.setText(id, shown);
    } else {
        board_.noteText(id, shown);
    }
    if (const auto next = AddressFields::moveOnAfterChange(id, shown)) {
        moveTo(*next);
    }
}

void OperatorConsole::OnFieldFull(ControlId id) {
    // The refused character is dropped, not carried into the next field.
    if (const auto next = AddressFields::moveOnWhenFull(id)) {
        moveTo(*next);
    }
}

void OperatorConsole::OnFieldFocusLost(ControlId id) {
    const std::string text = board_.text(id);
    const auto normalized = AddressFields::normalizeOnFocusLoss(id, text, mode_.load());
    if (normalized && *normalized != text) {
        writeField(id, *normalized);
    }
}

void OperatorConsole::OnFocusGained(ControlId id) {
    board_.noteFocus(id);
}

void OperatorConsole::OnTextEdited(ControlId id, const std::string& text) {
    board_.noteText(id, text);
}

void OperatorConsole::OnCheckToggled(ControlId id, bool on) {
    board_.noteChecked(id, on);
}

// ---- Banner -------------------------------------------------------------------------------

void OperatorConsole::SetBannerState(BannerState state) {
    banner_.SetBannerState(state, mode_.load());
    // Told after bannerLock is released; queued so that a worker never waits here.
    dispatcher_.post([this, state] {
        if (view_ != nullptr) {
            view_->bannerStateChanged(state, deviceUrl());
        }
    });
}

std::string OperatorConsole::deviceUrl() const {
    const std::string address = serverIP();
    if (address.empty()) {
        return {};
    }
    return "http://" + address + banner_.devicePagePath();
}

void OperatorConsole::OnTimerTick() {
    const Banner::Frame frame = banner_.OnTimerTick(mode_.load());
    if (view_ != nullptr) {
        view_->showBanner(frame.pair, frame.firstImage, frame.asButton);
    }
}

void OperatorConsole::OnBanner() {
    if (serverIP().empty()) {
        ShowMessage("serverIP.IsEmpty", MessageIcon::None);
        SetBannerState(BannerState::Instructions);
        return;
    }
    const int result = view_ != nullptr ? view_->openUrl(deviceUrl()) : 0;
    if (result <= kShellSuccessThreshold) {
        AppendStatus(kTagAlways, "> Error: " + ShellErrorText(result) + ".\r\n");
    }
    if (mode_.load() == ConsoleMode::Recovery) {
        SetBannerState(BannerState::UpdateStatus);
    }
}

// ---- Shared state -------------------------------------------------------------------------

std::string OperatorConsole::serverIP() const {
    std::lock_guard lock(stateMutex_);
    return serverIP_;
}

void OperatorConsole::setServerIP(const std::string& address) {
    std::lock_guard lock(stateMutex_);
    serverIP_ = address;
}

std::string OperatorConsole::routingTableText() const {
    std::lock_guard lock(stateMutex_);
    return routingTableText_;
}

void OperatorConsole::setRoutingTableText(const std::string& text) {
    std::lock_guard lock(stateMutex_);
    routingTableText_ = text;
}

// ---- Start-up, exit and About -------------------------------------------------------------

void OperatorConsole::Initialize() {
    dispatcher_.bindToCurrentThread();
    for (ControlId id : kIpControls) {
        board_.setTextLimit(id, static_cast<int>(kIpFieldLimit));
    }
    for (ControlId id : kMacControls) {
        board_.setTextLimit(id, static_cast<int>(kMacFieldLimit));
    }
    board_.setTextLimit(ControlId::NoticeLine, 0);
    moveTo(ControlId::RadioAuto);
    // POSIX sockets need no start-up; the flag stays so that its consequences remain testable.
    winsockReady = true;
    UiLock guard(switchLock_, dispatcher_);
    mode_ = ConsoleMode::Auto;
    StartListening();
    if (reportPrivileges_) {
        // Without privileges tools and sockets fail one by one; say why once, plainly.
        const std::string warning = PrivilegeCheck::StatusText(PrivilegeCheck::Probe());
        if (!warning.empty()) {
            AppendStatus(kTagAlways, warning);
        }
    }
    SetBannerState(BannerState::Instructions);
    restartAllowed = true;
    startWatcher();
    banner_.resetBlink();
}

// ---- Host network tools -------------------------------------------------------------------

bool OperatorConsole::LocateSystemTool(ToolKind kind, std::string& path) const {
    return tools_->LocateSystemTool(kind, path);
}

bool OperatorConsole::RouteAdd(const std::string& destination, const std::string& gateway) {
    return tools_->RouteAdd(destination, gateway);
}

bool OperatorConsole::RouteDelete(const std::string& destination) {
    return tools_->RouteDelete(destination);
}

bool OperatorConsole::ArpAdd(const std::string& ip, const std::string& mac,
                             const std::string& interfaceAddress) {
    return tools_->ArpAdd(ip, mac, interfaceAddress);
}

bool OperatorConsole::ArpDelete(const std::string& ip) {
    return tools_->ArpDelete(ip);
}

void OperatorConsole::LoadRoutingTable() {
    setRoutingTableText("");
    setRoutingTableText(tools_->LoadRoutingTable());
}

void OperatorConsole::ShowRoutingTable() {
    LoadRoutingTable();
    const RoutingTableBox box = HostTools::RoutingTableMessage(routingTableText());
    ShowMessage(box.text, box.icon);
}

bool OperatorConsole::PingHost(const std::string& host, int attempts, std::size_t dataSize) {
    // Echoes take seconds; a program that is closing has no use for their answer.
    if (closing()) {
        return false;
    }
    return pinger_.PingHost(host, attempts, dataSize);
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

void OperatorConsole::OnBrowse() {
    if (upgradeDriver_ != nullptr) {
        upgradeDriver_->OnBrowse();
    }
}

void OperatorConsole::OnSet() {
    ManualAssignment(*this).OnSet();
}

void OperatorConsole::OnUpdate() {
    if (upgradeDriver_ != nullptr) {
        upgradeDriver_->OnUpdate();
    }
}

void OperatorConsole::Shutdown() {
    if (shutDown_) {
        return;
    }
    shutDown_ = true;
    UiLock guard(switchLock_, dispatcher_);
    mode_ = ConsoleMode::Switching;
    stopWatcher();
    StopListening();
    StopRecovery();
    stopUpgrade();
}

// ---- Mode switches ------------------------------------------------------------------------

void OperatorConsole::OnRadioClicked(ControlId radio) {
    if (!board_.state(radio).enabled || shutDown_) {
        return;
    }
    selectRadio(radio);  // the radios form one group: the click selects this one alone
    const ConsoleMode before = mode_.load();
    switch (radio) {
        case ControlId::RadioAuto:
            OnAutoMode();
            break;
        case ControlId::RadioManual:
            OnManualMode();
            break;
        case ControlId::RadioRecovery:
            OnRecoveryMode();
            break;
        case ControlId::RadioFirmwareFile:
            OnFirmwareFileMode();
            break;
        default:
            break;
    }
    if (mode_.load() == before) {
        checkRadioOfMode();  // a click that switched nothing leaves the radio of the mode
    }
}

void OperatorConsole::OnAutoMode() {
    if (!board_.checked(ControlId::RadioAuto)) {
        return;
    }
    UiLock guard(switchLock_, dispatcher_);
    const ConsoleMode from = mode_.load();
    if (from != ConsoleMode::Manual && from != ConsoleMode::Recovery &&
        from != ConsoleMode::FirmwareFile) {
        return;
    }
    mode_ = ConsoleMode::Auto;
    if (from == ConsoleMode::FirmwareFile) {
        ShowFirmwareControls(false);
    }
    EnableModeRadios(false);
    if (from == ConsoleMode::Recovery) {
        StopRecovery();
    } else if (from == ConsoleMode::FirmwareFile) {
        stopUpgrade();
    }
    StartListening();
    startWatcher();
    EnableModeRadios(true);
}

void OperatorConsole::OnManualMode() {
    if (!board_.checked(ControlId::RadioManual)) {
        return;
    }
    UiLock guard(switchLock_, dispatcher_);
    const ConsoleMode from = mode_.load();
    switch (from) {
        case ConsoleMode::Auto:
            mode_ = ConsoleMode::Manual;
            stopWatcher();
            EnableModeRadios(false);
            StopListening();
            break;
        case ConsoleMode::Recovery:
            setRoutingTableText("");
            mode_ = ConsoleMode::Manual;
            stopWatcher();
            EnableModeRadios(false);
            StopRecovery();
            break;
        case ConsoleMode::FirmwareFile:
            mode_ = ConsoleMode::Manual;
            ShowFirmwareControls(false);
            ClearIpFields();
            EnableModeRadios(false);
            stopUpgrade();
            break;
        default:
            return;
    }
    PrepareManualMode();
    EnableModeRadios(true);
}

void OperatorConsole::OnRecoveryMode() {
    if (!board_.checked(ControlId::RadioRecovery)) {
        return;
    }
    UiLock guard(switchLock_, dispatcher_);
    const ConsoleMode from = mode_.load();
    if (from == ConsoleMode::Auto) {
        mode_ = ConsoleMode::Recovery;
        stopWatcher();
        EnableModeRadios(false);
        StopListening();
        setServerIP("");
        SetBannerState(BannerState::Instructions);
    } else if (from == ConsoleMode::Manual) {
        mode_ = ConsoleMode::Recovery;
        SetBannerState(BannerState::Instructions);
        EnableModeRadios(false);
    } else {
        return;
    }
    recoveryFieldReset();
    StartRecovery();
    startWatcher();
    EnableModeRadios(true);
}

void OperatorConsole::OnFirmwareFileMode() {
    if (!board_.checked(ControlId::RadioFirmwareFile)) {
        return;
    }
    UiLock guard(switchLock_, dispatcher_);
    const ConsoleMode from = mode_.load();
    if (from != ConsoleMode::Auto && from != ConsoleMode::Manual) {
        return;
    }
    if (upgradeDriver_ == nullptr) {
        upgradeDriver_ = workerFactory_.makeUpgradeDriver(*this);
    }
    ShowFirmwareControls(true);
    mode_ = ConsoleMode::FirmwareFile;
    if (from == ConsoleMode::Auto) {
        stopWatcher();
        onUi([&] { board_.setVisible(ControlId::ClearCheck, false); });
        EnableModeRadios(false);
        StopListening();
    } else {
        ClearMacFields();
        SetMacReadOnly(true);
        EnableModeRadios(false);
    }
    PrepareFirmwareFileMode();
    EnableModeRadios(true);
}

void OperatorConsole::recoveryFieldReset() {
    ClearMacFields();
    ClearIpFields();
    SetIpReadOnly(true);
    SetMacReadOnly(true);
    onUi([&] {
        board_.setEnabled(ControlId::ClearCheck, false);
        board_.setEnabled(ControlId::SetButton, false);
    });
    clearNoticeLine();
}

void OperatorConsole::PrepareManualMode() {
    setServerIP("");
    onUi([&] { board_.setVisible(ControlId::ClearCheck, true); });
    SetBannerState(BannerState::Instructions);
    EnableMacFields(true);
    PrefillMacOui();
    onUi([&] { board_.setEnabled(ControlId::ClearCheck, true); });
    SetMacReadOnly(false);
    SetIpReadOnly(false);
    onUi([&] { board_.setEnabled(ControlId::SetButton, true); });
    clearNoticeLine();
    clearStatusHoldingLogLock();
}

void OperatorConsole::PrepareFirmwareFileMode() {
    setServerIP("");
    onUi([&] { board_.setText(ControlId::PasswordEdit, ""); });
    SetBannerState(BannerState::Instructions);
    onUi([&] {
        board_.setEnabled(ControlId::SetButton, false);
        board_.setVisible(ControlId::ClearCheck, false);
    });
    SetMacReadOnly(true);
    EnableMacFields(false);
    SetIpReadOnly(false);
    UiLock lock(logLock, dispatcher_);
    ClearStatus();
    onUi([&] {
        moveTo(board_.text(ControlId::Ip1).empty() ? ControlId::Ip1 : ControlId::PasswordEdit);
    });
}

// ---- Interfaces ---------------------------------------------------------------------------

bool OperatorConsole::RefreshInterfaces() {
    if (!interfaceSource_.hostName()) {
        return false;
    }
    std::vector<std::uint32_t> addresses = interfaceSource_.addresses();
    if (addresses.size() > kMaxInterfaces) {
        addresses.resize(kMaxInterfaces);  // the table holds 16; further addresses are ignored
    }
    std::lock_guard lock(stateMutex_);
    interfaceCount_ = 0;
    for (std::uint32_t address : addresses) {
        interfaceAddresses_[static_cast<std::size_t>(interfaceCount_++)] = Ipv4::format(address);
    }
    if (interfaceCount_ == 1 && interfaceAddresses_[0] == kLoopbackText) {
        interfaceCount_ = 0;
    }
    return true;
}

std::vector<std::string> OperatorConsole::interfaceAddresses() const {
    std::lock_guard lock(stateMutex_);
    return {interfaceAddresses_.begin(),
            interfaceAddresses_.begin() + static_cast<std::ptrdiff_t>(interfaceCount_)};
}

int OperatorConsole::interfaceCount() const {
    std::lock_guard lock(stateMutex_);
    return interfaceCount_;
}

std::string OperatorConsole::InterfacePrefix(std::uint32_t nicAddress) const {
    if (interfaceCount() > 1) {
        return "> [NIC " + Ipv4::format(nicAddress) + "]";
    }
    return ">";
}

std::vector<std::uint32_t> OperatorConsole::listInterfaces(ConsoleMode tagMode) {
    const int tag = tagOf(tagMode);
    std::optional<std::string> hostName = interfaceSource_.hostName();
    if (!hostName) {
        AppendStatus(tag, std::string(kHostNameWarning));
        hostName = std::string();
    }
    std::vector<std::uint32_t> addresses = interfaceSource_.addresses();
    if (addresses.size() > kMaxInterfaces) {
        addresses.resize(kMaxInterfaces);
    }
    int count = 0;
    {
        std::lock_guard lock(stateMutex_);
        interfaceCount_ = 0;
        for (std::uint32_t address : addresses) {
            interfaceAddresses_[static_cast<std::size_t>(interfaceCount_++)] =
                Ipv4::format(address);
        }
        const bool onlyLoopback = interfaceCount_ == 1 && interfaceAddresses_[0] == kLoopbackText;
        // Listening for announcements needs an address; recovery reports an empty host as zero
        // interfaces rather than as an error.
        const bool none = onlyLoopback || (tagMode == ConsoleMode::Auto && interfaceCount_ == 0);
        if (onlyLoopback) {
            interfaceCount_ = 0;
        }
        count = none ? -1 : interfaceCount_;
    }
    if (count < 0) {
        AppendStatus(tag, "> Error: No NIC found on this machine (" + *hostName + "):\r\n");
        return {};
    }
    AppendStatus(
        tag, "> " + std::to_string(count) + " NICs found on this machine (" + *hostName + "):\r\n");
    addresses.resize(static_cast<std::size_t>(count));
    return addresses;
}

void OperatorConsole::StartListening() {
    SetBannerState(BannerState::Instructions);
    onUi([&] {
        board_.setChecked(ControlId::RadioAuto, true);
        board_.setChecked(ControlId::RadioManual, false);
        board_.setEnabled(ControlId::SetButton, false);
        board_.setEnabled(ControlId::ClearCheck, false);
    });
    SetMacReadOnly(true);
    EnableMacFields(false);
    SetIpReadOnly(true);
    ClearMacFields();
    ClearIpFields();
    setServerIP("");
    setRoutingTableText("");
    clearStatusHoldingLogLock();
    const std::vector<std::uint32_t> addresses = listInterfaces(ConsoleMode::Auto);
    {
        UiLock lock(fieldLock, dispatcher_);
        deviceDetected = false;
        SetNoticeLine("");
    }
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        auto listener = workerFactory_.makeListener(*this, addresses[i], kAnnouncePort);
        AppendStatus(tagOf(ConsoleMode::Auto), nicLine(i, Ipv4::format(addresses[i])));
        listenerList_.start(std::move(listener));
    }
    AppendStatus(tagOf(ConsoleMode::Auto), "\r\n" + std::string(kListening));
}

void OperatorConsole::StopListening() {
    listenerList_.stopAll();
    WaitUntil([&] { return countListener.load() == 0 && listenerList_.allEnded(); });
    listenerList_.clear();
}

void OperatorConsole::StartRecovery() {
    clearStatusHoldingLogLock();
    setRoutingTableText("");
    const std::vector<std::uint32_t> addresses = listInterfaces(ConsoleMode::Recovery);
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        auto listener = workerFactory_.makeRecoveryListener(*this, addresses[i]);
        AppendStatus(tagOf(ConsoleMode::Recovery), nicLine(i, Ipv4::format(addresses[i])));
        recoveryList_.start(std::move(listener));
    }
    AppendStatus(tagOf(ConsoleMode::Recovery), std::string(kListening));
}

void OperatorConsole::StopRecovery() {
    recoveryList_.stopAll();
    WaitUntil([&] { return countThread.load() == 0 && recoveryList_.allEnded(); });
    recoveryList_.clear();
    restartAllowed = true;
}

std::size_t OperatorConsole::listenerCount() const {
    return listenerList_.size();
}
std::size_t OperatorConsole::recoveryListenerCount() const {
    return recoveryList_.size();
}

void OperatorConsole::stopUpgrade() {
    if (upgradeDriver_ != nullptr) {
        upgradeDriver_->requestStop();
    }
    WaitUntil([&] { return upgradeActiveCount.load() == 0; });
}

void OperatorConsole::WaitUntil(const std::function<bool()>& done) {
    if (dispatcher_.onUiThread()) {
        dispatcher_.waitUntil(done, timings_.workerPoll);
        return;
    }
    while (!done()) {
        std::this_thread::sleep_for(timings_.workerPoll);
    }
}

// ---- Interface watcher --------------------------------------------------------------------

void OperatorConsole::startWatcher() {
    // One watcher at a time: one left over from an earlier visit to this mode, still in its
    // sleep, is ended before the new one starts.
    stopWatcher();
    const ConsoleMode watched = mode_.load();
    watcherActive_ = true;
    watcher_ = std::jthread([this, watched](const std::stop_token& stop) {
        WatchInterfaces(stop, watched);
        watcherActive_ = false;
        dispatcher_.notify();
    });
}

void OperatorConsole::stopWatcher() {
    if (!watcher_.joinable()) {
        return;
    }
    watcher_.request_stop();
    {
        std::lock_guard lock(watcherMutex_);
        watcherWake_.notify_all();
    }
    // The watcher may be restarting listeners that wait for this thread: keep serving them.
    WaitUntil([&] { return !watcherActive_.load(); });
    watcher_.join();
}

bool OperatorConsole::watcherSleep(const std::stop_token& stop) {
    std::unique_lock lock(watcherMutex_);
    watcherWake_.wait_for(lock, stop, timings_.interfaceWatch, [] { return false; });
    return !stop.stop_requested();
}

void OperatorConsole::WatchInterfaces(const std::stop_token& stop, ConsoleMode watched) {
    if (watched != ConsoleMode::Auto && watched != ConsoleMode::Recovery) {
        return;
    }
    const int tag = tagOf(watched);
    int known = interfaceCount();
    while (mode_.load() == watched && !stop.stop_requested()) {
        if (watched == ConsoleMode::Recovery && !restartAllowed.load()) {
            // A device is being served; its addresses are looked at once it is done.
            if (!watcherSleep(stop)) {
                return;
            }
            continue;
        }
        if (known != interfaceCount()) {
            // A mode switch that holds the lock may be waiting for this thread to end.
            std::unique_lock guard(switchLock_, std::defer_lock);
            while (!guard.try_lock()) {
                std::unique_lock lock(watcherMutex_);
                if (watcherWake_.wait_for(lock, stop, timings_.workerPoll / 10,
                                          [&] { return stop.stop_requested(); })) {
                    return;
                }
            }
            if (mode_.load() != watched || stop.stop_requested()) {
                return;
            }
            AppendStatus(tag, "\r\n");
            AppendStatus(tag, "> Network connections changed\r\n");
            mode_ = ConsoleMode::Switching;
            if (watched == ConsoleMode::Auto) {
                StopListening();
            } else {
                StopRecovery();
            }
            mode_ = watched;
            if (watched == ConsoleMode::Auto) {
                StartListening();
            } else {
                StartRecovery();
            }
            // The count the listeners were started for: the start reads the interfaces
            // again, and they may have changed once more since this loop looked.
            known = interfaceCount();
        }
        if (!watcherSleep(stop)) {
            return;
        }
        RefreshInterfaces();
    }
}

}  // namespace vantor
