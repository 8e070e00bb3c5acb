#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "console/AddressFields.h"
#include "console/Banner.h"
#include "console/ConsoleMode.h"
#include "console/ConsoleView.h"
#include "console/ControlBoard.h"
#include "console/InterfaceSource.h"
#include "console/StatusLog.h"
#include "console/Timings.h"
#include "console/UiDispatcher.h"
#include "console/WorkerFactory.h"
#include "console/WorkerGroup.h"
#include "hostnet/HostTools.h"
#include "hostnet/Pinger.h"

namespace vantor {

// What the console is built from. The sources and factories must outlive it.
struct ConsoleServices {
    InterfaceSource& interfaces;
    WorkerFactory& workers;
    Timings timings{};
    // ICMP echo; none: this host's own.
    Pinger* pinger = nullptr;
    // The ARP and route tools, made with the console's routeLock; none: this host's own.
    std::function<std::unique_ptr<HostTools>(std::mutex& routeLock)> makeTools = {};
    // Whether Initialize tells the operator about missing privileges.
    bool reportPrivileges = true;
};

// The controller behind the main window and the owner of all long-lived state: the mode, the
// status log, the address fields, the interface table, the workers of each mode, the banner
// and the four locks. Handlers (On...) run on the user-interface thread; the operations that
// workers call may be called from any thread.
class OperatorConsole final : private StatusLog::Observer {
  public:
    explicit OperatorConsole(ConsoleServices services);
    ~OperatorConsole() override;
    OperatorConsole(const OperatorConsole&) = delete;
    OperatorConsole& operator=(const OperatorConsole&) = delete;

    // ---- Front-end wiring ------------------------------------------------------------------
    // The view that shows the controls (or none). Call on the user-interface thread.
    void attachView(ConsoleView* view);
    UiDispatcher& dispatcher() { return dispatcher_; }
    const Timings& timings() const { return timings_; }
    const ControlBoard& controls() const { return board_; }

    // ---- Handlers (user-interface thread) ---------------------------------------------------
    void Initialize();
    // A click on one of the four mode radios: the radio group selects it, then its handler runs.
    void OnRadioClicked(ControlId radio);
    void OnAutoMode();
    void OnManualMode();
    void OnRecoveryMode();
    void OnFirmwareFileMode();
    void OnExit();
    void OnAbout();
    void OnBanner();
    void OnTimerTick();
    void OnBrowse();
    void OnUpdate();
    // The Set button: manual assignment of the typed address to the typed MAC.
    void OnSet();

    // Operator input reported by the view.
    void OnFieldEdited(ControlId id, const std::string& text);
    void OnFieldFull(ControlId id);  // a typed character was refused because the field is full
    void OnFieldFocusLost(ControlId id);
    void OnFocusGained(ControlId id);
    void OnTextEdited(ControlId id, const std::string& text);  // the password and path edits
    void OnCheckToggled(ControlId id, bool on);

    // Stops every worker of every mode and waits for them; afterwards the console may be
    // destroyed. Safe to call more than once.
    void Shutdown();
    // Asks from any thread to close while the user-interface thread is busy (a Set blocks
    // it): what it runs gives up at its next check, and Shutdown follows once it is free.
    void RequestClose() { closeRequested_ = true; }
    // The program is closing: workers end what they would otherwise finish first, and echoes
    // go unanswered.
    bool closing() const { return shutDown_.load() || closeRequested_.load(); }

    // ---- Status log -------------------------------------------------------------------------
    void AppendStatus(int statusTag, const std::string& text);
    void ClearStatus();
    std::vector<std::string> statusRows() const { return log_.rows(); }

    // ---- Address fields ---------------------------------------------------------------------
    void SetMacFields(const std::array<std::uint8_t, 6>& octets);
    void SetIpFields(const std::array<std::uint8_t, 4>& octets);
    void ClearMacFields();
    void ClearIpFields();
    void SetMacReadOnly(bool on);
    void SetIpReadOnly(bool on);
    void EnableMacFields(bool on);
    void PrefillMacOui();
    std::string GetMacText() const;
    std::string GetIpText() const;
    bool IsValidMac() const;
    bool IsValidDeviceIp() const;
    MacTexts macTexts() const;
    IpTexts ipTexts() const;

    // ---- Other controls, callable from any thread --------------------------------------------
    void EnableModeRadios(bool on);
    void EnableControl(ControlId id, bool on);
    void FocusControl(ControlId id);
    std::string ControlText(ControlId id) const { return board_.text(id); }
    void SetControlText(ControlId id, const std::string& text);
    bool IsChecked(ControlId id) const { return board_.checked(id); }
    // The caller holds fieldLock.
    void SetNoticeLine(const std::string& text);
    std::string noticeLine() const { return board_.text(ControlId::NoticeLine); }
    // A message box that does not hold up the calling worker.
    void ShowMessageFromWorker(const std::string& text);
    // A modal message box on the user-interface thread (handlers only).
    void ShowMessage(const std::string& text, MessageIcon icon);
    std::optional<std::string> ChooseFile(const std::string& filter);

    // ---- Banner -----------------------------------------------------------------------------
    void SetBannerState(BannerState state);
    BannerState bannerState() const { return banner_.state(); }
    std::string devicePagePath() const { return banner_.devicePagePath(); }
    // The address the banner button opens, or empty without a device.
    std::string deviceUrl() const;

    // ---- Shared state -----------------------------------------------------------------------
    ConsoleMode mode() const { return mode_.load(); }
    std::string serverIP() const;
    void setServerIP(const std::string& address);
    std::string routingTableText() const;
    void setRoutingTableText(const std::string& text);

    // ---- Host network tools, callable from any thread ------------------------------------------
    bool LocateSystemTool(ToolKind kind, std::string& path) const;
    bool RouteAdd(const std::string& destination, const std::string& gateway);
    bool RouteDelete(const std::string& destination);
    bool ArpAdd(const std::string& ip, const std::string& mac, const std::string& interfaceAddress);
    bool ArpDelete(const std::string& ip);
    void LoadRoutingTable();
    // The "Routing table detail" button (user-interface thread).
    void ShowRoutingTable();
    bool PingHost(const std::string& host, int attempts, std::size_t dataSize);

    // ---- Interfaces and workers -------------------------------------------------------------
    bool RefreshInterfaces();
    std::vector<std::string> interfaceAddresses() const;
    int interfaceCount() const;
    // ">" on a host with at most one interface address, else "> [NIC a.b.c.d]".
    std::string InterfacePrefix(std::uint32_t nicAddress) const;
    void StartListening();
    void StopListening();
    void StartRecovery();
    void StopRecovery();
    std::size_t listenerCount() const;
    std::size_t recoveryListenerCount() const;
    bool hasUpgradeDriver() const { return upgradeDriver_ != nullptr; }
    const FirmwareUpgrader* upgradeDriver() const { return upgradeDriver_.get(); }
    bool watcherRunning() const { return watcherActive_.load(); }

    // Told by a worker that just decremented a counter the console waits on, so that the wait
    // looks again at once rather than at its next poll.
    void WorkerEnded() { dispatcher_.notify(); }

    // Waits, polling every workerPoll, until done() holds. On the user-interface thread the
    // waits keep serving workers' requests.
    void WaitUntil(const std::function<bool()>& done);

    // ---- Members shared with the workers ------------------------------------------------------
    std::atomic<bool> winsockReady{false};
    std::atomic<bool> restartAllowed{false};
    bool deviceDetected = false;  // guarded by fieldLock
    std::atomic<int> countListener{0};
    std::atomic<int> countThread{0};
    std::atomic<int> upgradeActiveCount{0};
    std::mutex logLock;
    std::mutex fieldLock;
    std::mutex routeLock;
    std::mutex bannerLock;

  private:
    // StatusLog::Observer: mirror the rows to the view (user-interface thread).
    void rowAppended(const std::string& text) override;
    void oldestRowsRemoved(std::size_t count) override;
    void cleared() override;

    // Runs a control change on the user-interface thread.
    void onUi(const std::function<void()>& change);
    // Writes a field's text as the program does, with the moving-on rules of a change.
    void writeField(ControlId id, const std::string& text);
    void moveTo(ControlId id);
    void selectRadio(ControlId radio);
    void checkRadioOfMode();
    void ShowFirmwareControls(bool on);
    void PrepareManualMode();
    void PrepareFirmwareFileMode();
    void recoveryFieldReset();
    void clearNoticeLine();
    void clearStatusHoldingLogLock();

    // Reads the interfaces into the table and logs the count row; used by the two starts.
    std::vector<std::uint32_t> listInterfaces(ConsoleMode tagMode);
    void startWatcher();
    void stopWatcher();
    void WatchInterfaces(const std::stop_token& stop, ConsoleMode watched);
    bool watcherSleep(const std::stop_token& stop);
    void stopUpgrade();

    const Timings timings_;
    InterfaceSource& interfaceSource_;
    WorkerFactory& workerFactory_;
    const bool reportPrivileges_;
    std::unique_ptr<Pinger> ownPinger_;
    Pinger& pinger_;
    std::unique_ptr<HostTools> tools_;
    UiDispatcher dispatcher_;
    ConsoleView* view_ = nullptr;

    std::atomic<ConsoleMode> mode_{ConsoleMode::Switching};
    StatusLog log_;
    ControlBoard board_;
    Banner banner_;

    mutable std::mutex stateMutex_;  // serverIP, routingTableText, the interface table
    std::string serverIP_;
    std::string routingTableText_;
    std::array<std::string, kMaxInterfaces> interfaceAddresses_{};
    int interfaceCount_ = 0;

    // Mode switches and the watcher's restarts exclude each other, so that the watcher never
    // restarts listeners of a mode the operator is leaving.
    std::mutex switchLock_;
    WorkerGroup listenerList_;
    WorkerGroup recoveryList_;
    std::unique_ptr<FirmwareUpgrader> upgradeDriver_;

    std::jthread watcher_;
    std::atomic<bool> watcherActive_{false};
    std::mutex watcherMutex_;
    std::condition_variable_any watcherWake_;
    std::atomic<bool> shutDown_{false};
    std::atomic<bool> closeRequested_{false};
};

}  // namespace vantor
