#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>

#include "console/ConsolePanel.h"
#include "console/ConsoleReport.h"
#include "console/HeardDeviceList.h"
#include "console/HostInterfaceTable.h"
#include "console/InterfaceWatcher.h"
#include "console/RunState.h"
#include "console/WorkerGroup.h"
#include "hostnet/PrivilegeCheck.h"
#include "ports/WorkerFactory.h"

namespace vantor {

// The mode switches: which steps lead from one mode to another, and the workers each mode
// runs (the announcement listeners in Auto, the recovery listeners in Recovery, the upgrade
// driver in firmware-file mode) with the interface watcher that restarts them. Switches and
// the watcher's restarts hold the switch lock, so that the watcher never restarts the
// listeners of a mode the operator is leaving.
class ModeController {
  public:
    // One step of a switch, in the order the switch's row of the table lists them.
    enum class Step : std::uint8_t {
        SetMode,
        StopWatcher,
        StartWatcher,
        DisableRadios,
        EnableRadios,
        StopListening,
        StartListening,
        StopRecovery,
        ResetRecoveryFields,
        StartRecovery,
        MakeUpgradeDriver,
        StopUpgrade,
        // Shows the controls of the mode entered and hides those of every other mode.
        ShowModeControls,
        ClearIpFields,
        ClearMacFields,
        LockMacFields,
        ClearServerAddress,
        BannerInstructions,
        PrepareManual,
        PrepareFirmwareFile,
    };
    struct Transition {
        ConsoleMode from;
        ConsoleMode to;
        std::span<const Step> steps;
    };
    // The row for a switch, or nothing when the switch is not made.
    static std::optional<Transition> transition(ConsoleMode from, ConsoleMode to);

    // The warning row for those of `needed` the program lacks, empty when it lacks none.
    using PrivilegeWarning = std::function<std::string(std::span<const Privilege> needed)>;
    struct Parts {
        RunState& run;
        ConsoleReport& report;
        ConsolePanel& panel;
        HostInterfaceTable& interfaces;
        WorkerFactory& factory;
        WorkerPorts& ports;
        HeardDeviceList& heard;
        WatchTicker& ticker;
        UiDispatcher& dispatcher;
        // None: no warnings.
        PrivilegeWarning privilegeWarning = {};
    };
    // What the workers of a mode need beyond an ordinary user's rights.
    static std::span<const Privilege> privilegesOf(ConsoleMode mode);
    explicit ModeController(Parts parts);
    ~ModeController();
    ModeController(const ModeController&) = delete;
    ModeController& operator=(const ModeController&) = delete;

    // Enters Auto at start-up; between its listeners and the watcher, `beforeWatch` runs. The
    // start-up log names every missing privilege, not only Auto's.
    void enterFirstMode(const std::function<void()>& beforeWatch);
    // Runs the switch from the current mode to `to`, if the table has one.
    void switchTo(ConsoleMode to);
    // Stops every worker of every mode and waits for them.
    void stopAll();
    // Firmware Upgrade again from its start (another recovery kit); only while it is current.
    void restartRecovery() { restart(ConsoleMode::Recovery); }

    FirmwareUpgrader* upgradeDriver() const { return upgradeDriver_.get(); }
    std::size_t listenerCount() const { return listeners_.size(); }
    std::size_t recoveryListenerCount() const { return recoveryListeners_.size(); }
    int runningListenerThreads() const { return listenerThreads_.load(); }
    int runningRecoveryThreads() const { return recoveryThreads_.load(); }
    bool upgradeActive() const { return upgradeDriver_ != nullptr && upgradeDriver_->active(); }
    bool watcherRunning() const { return watcher_.running(); }

  private:
    void run(Step step, ConsoleMode to);
    // The warning row for the privileges `mode` lacks, written with its tag; at start-up
    // every missing privilege is named.
    void warnOfPrivileges(ConsoleMode mode, bool startUp = false);
    void startListening(bool startUp = false);
    void stopListening();
    void startRecovery();
    void stopRecovery();
    void stopUpgrade();
    void resetRecoveryFields();
    void prepareManual();
    void prepareFirmwareFile();
    void restart(ConsoleMode watched);

    Parts parts_;
    std::mutex switchLock_;
    std::atomic<int> listenerThreads_{0};
    std::atomic<int> recoveryThreads_{0};
    WorkerGroup listeners_;
    WorkerGroup recoveryListeners_;
    std::unique_ptr<FirmwareUpgrader> upgradeDriver_;
    InterfaceWatcher watcher_;
};

}  // namespace vantor
