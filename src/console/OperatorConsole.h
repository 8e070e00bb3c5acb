#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/InterfaceSource.h"
#include "base/Timings.h"
#include "console/ClosingAwarePinger.h"
#include "console/ConsolePanel.h"
#include "console/ConsoleReport.h"
#include "console/ControlBoard.h"
#include "console/HeardDeviceList.h"
#include "console/HostInterfaceTable.h"
#include "console/ModeController.h"
#include "console/RunState.h"
#include "console/UiDispatcher.h"
#include "console/WatchTicker.h"
#include "hostnet/HostTools.h"
#include "hostnet/NetworkAccess.h"
#include "hostnet/Pinger.h"
#include "hostnet/PrivilegeCheck.h"
#include "ports/WorkerFactory.h"
#include "ports/WorkerPorts.h"

namespace vantor {

class ConsoleView;

// What the console is built from. The sources and factories must outlive it.
struct ConsoleServices {
    InterfaceSource& interfaces;
    WorkerFactory& workers;
    Timings timings{};
    // ICMP echo; none: this host's own.
    Pinger* pinger = nullptr;
    // The ARP and route tools, made with the lock that keeps route runs one at a time; none:
    // this host's own.
    std::function<std::unique_ptr<HostTools>(std::mutex& routeLock)> makeTools = {};
    // Whether the modes tell the operator about missing privileges.
    bool reportPrivileges = true;
    // What the program may do; none: this process's own, probed on each entry to a mode.
    std::function<PrivilegeState()> probePrivileges = {};
    // The interface watcher's clock; none: one look every interfaceWatch.
    WatchTicker* watchTicker = nullptr;
    // Where every status row is kept as well; none: nowhere.
    StatusLogFile* logFile = nullptr;
    // How the modes bind the DHCP and TFTP ports, open raw ICMP sockets, change neighbour
    // entries and host routes, and which privileges they have: through the network helper or
    // directly; none: directly (the tools as makeTools says).
    NetworkAccess* network = nullptr;
};

// The controller behind the main window. It owns the parts and wires them: the report port
// (status log, notice line, banner), the control panel, the run gate, the interface table and
// the mode controller with its workers, which are handed the ports alone. Handlers (On...)
// run on the user-interface thread.
class OperatorConsole final {
  public:
    explicit OperatorConsole(ConsoleServices services);
    ~OperatorConsole();
    OperatorConsole(const OperatorConsole&) = delete;
    OperatorConsole& operator=(const OperatorConsole&) = delete;

    // The view that shows the controls (or none). Call on the user-interface thread.
    void attachView(ConsoleView* view);
    UiDispatcher& dispatcher() { return dispatcher_; }
    const Timings& timings() const { return timings_; }
    const ControlBoard& controls() const { return board_; }

    // ---- Handlers (user-interface thread) ---------------------------------------------------
    void Initialize();
    // A click on one of the four mode radios: the radio group selects it, then the switch to
    // its mode runs.
    void OnRadioClicked(ControlId radio);
    void OnExit();
    void OnAbout();
    // The operator chose another recovery kit folder (the window remembered it): Firmware
    // Upgrade, when current, starts again with it.
    void OnRecoveryKitChosen();
    // The kit in use, in a few words: its folder, or "built in".
    std::string recoveryKitDescription() const;
    // The kit folder the operator chose before (empty: none), the file that remembers it, and
    // remembering another choice; the window reaches them here, as it may not include the
    // recovery layer.
    std::string rememberedRecoveryKit() const;
    std::string recoveryKitMemoryFile() const;
    bool rememberRecoveryKit(const std::string& folder);
    void OnBanner();
    void OnTimerTick();
    void OnBrowse();
    void OnUpdate();
    // Ends a running Update or batch at its next step (the batch dialog's Stop and Escape).
    void OnStopUpgrade();
    // The Set button: manual assignment of the typed address to the typed MAC.
    void OnSet();
    // The "Routing table detail" button.
    void ShowRoutingTable();
    // The list of devices heard: a device made the current one as if it had just answered
    // (Auto only; the banner offers its page only when it answered), its page opened as the
    // banner opens it, and the list saved as CSV where the operator chooses.
    void OnMakeCurrent(const MacOctets& mac);
    void OnOpenDevicePage(const MacOctets& mac);
    void OnSaveHeardDevices();
    // Writes the list to `path`; the reason when that failed.
    std::optional<std::string> saveHeardDevices(const std::string& path) const;
    // Operator input reported by the view.
    void OnFieldEdited(ControlId id, const std::string& text) { panel_.fieldEdited(id, text); }
    void OnFieldFull(ControlId id) { panel_.fieldFull(id); }
    void OnFieldFocusLost(ControlId id) { panel_.fieldFocusLost(id); }
    void OnFocusGained(ControlId id) { board_.noteFocus(id); }
    void OnTextEdited(ControlId id, const std::string& text) { board_.noteText(id, text); }
    void OnCheckToggled(ControlId id, bool on) { board_.noteChecked(id, on); }

    // Stops every worker of every mode and waits for them; afterwards the console may be
    // destroyed. Safe to call more than once.
    void Shutdown();
    // Asks from any thread to close while the user-interface thread is busy (a Set blocks
    // it): what it runs gives up at its next check, and Shutdown follows once it is free.
    void RequestClose() { run_.requestClose(); }

    // ---- The parts, for front-ends and tests -------------------------------------------------
    ConsoleReport& report() { return report_; }
    ConsolePanel& panel() { return panel_; }
    RunState& gate() { return run_; }
    HostInterfaceTable& interfaces() { return interfaceTable_; }
    // The ports workers are handed, for a worker made by hand.
    WorkerPorts& workerPorts() { return ports_; }

    // ---- State, callable from any thread -------------------------------------------------------
    ConsoleMode mode() const { return run_.mode(); }
    std::vector<std::string> statusRows() const { return report_.rows(); }
    std::string noticeLine() const { return report_.noticeLine(); }
    BannerState bannerState() const { return report_.bannerState(); }
    std::string deviceUrl() const { return report_.deviceUrl(); }
    std::string serverIP() const { return report_.serverAddress(); }
    std::vector<HeardDevice> heardDevices() const { return heard_.rows(); }
    // Moves whenever a row of the list changes.
    std::uint64_t heardRevision() const { return heard_.revision(); }
    const FirmwareUpgrader* upgradeDriver() const { return modes_.upgradeDriver(); }
    // Upgrading several devices at once, while the firmware file mode is current; null when not.
    BatchUpgrader* upgradeBatch() const {
        FirmwareUpgrader* driver = modes_.upgradeDriver();
        return driver != nullptr ? driver->batch() : nullptr;
    }
    bool upgradeActive() const { return modes_.upgradeActive(); }
    std::size_t listenerCount() const { return modes_.listenerCount(); }
    std::size_t recoveryListenerCount() const { return modes_.recoveryListenerCount(); }
    int listenerThreads() const { return modes_.runningListenerThreads(); }
    int recoveryThreads() const { return modes_.runningRecoveryThreads(); }
    bool watcherRunning() const { return modes_.watcherRunning(); }

  private:
    const Timings timings_;
    WorkerFactory& workerFactory_;
    UiDispatcher dispatcher_;
    ConsoleView* view_ = nullptr;
    ControlBoard board_;
    RunState run_;
    ConsoleReport report_;
    ConsolePanel panel_;
    HeardDeviceList heard_;
    HostInterfaceTable interfaceTable_;
    std::unique_ptr<Pinger> ownPinger_;
    ClosingAwarePinger pinger_;
    std::mutex routeLock_;  // route tool runs, one at a time
    std::unique_ptr<HostTools> tools_;
    std::unique_ptr<WatchTicker> ownTicker_;
    WorkerPorts ports_;
    ModeController modes_;
};

}  // namespace vantor
