#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/DeviceWorkerFactory.h"
#include "base/SystemInterfaceSource.h"
#include "base/Timings.h"
#include "console/OperatorConsole.h"
#include "net/CTimedSocket.h"
#include "netlab/NetLab.h"
#include "netlab/PcLab.h"
#include "support/Eventually.h"
#include "support/LabUiThread.h"
#include "support/RecordingView.h"
#include "upgrade/TempDir.h"

namespace vantor::test {

// The recovery service's waits for tests: short pauses, and a TFTP time-out long enough that a
// busy machine makes no block go out twice.
Timings recoveryTimings();

// Waits far longer than any test lasts (60 s for a TFTP ACK and for the restart wait), so that
// a client held up behind another shows as one that got nothing.
Timings longWaits();
// Seconds since `start`, for the figures a test prints.
double secondsSince(std::chrono::steady_clock::time_point start);
// An embedded boot image's bytes; empty for another name.
std::vector<std::uint8_t> bootImage(std::string_view name);

// A MAC under the maker's OUI.
std::array<std::uint8_t, 6> deviceMac(std::uint8_t last);
// "02:56:4e:..." for ip link, "02-56-4E-..." as the log writes it.
std::string macForIp(const std::array<std::uint8_t, 6>& mac);
std::string macText(const std::array<std::uint8_t, 6>& mac);

// A BOOTREQUEST as a client builds it: the fixed part, the cookie, the message type (none for
// BOOTP) and the host name, padded to `size` bytes (at least the end option's end).
struct BootRequest {
    std::array<std::uint8_t, 6> mac{};
    std::optional<std::uint8_t> type;
    std::optional<std::string> hostName;
    bool cookie = true;
    std::uint8_t op = 1;
    std::uint32_t xid = 0xC0FFEE01;
    std::string serverName;
    std::uint32_t clientAddress = 0;
    std::size_t size = 300;

    std::vector<std::uint8_t> bytes() const;
};

// A PC namespace whose console runs in Firmware Upgrade mode with the product's workers, on a
// thread inside that namespace that serves as its user-interface thread, and device
// namespaces joined to the PC by veth pairs. Link n is 10.77.n.0/24: the PC at .1, the device
// (when it has an address) at .2 with a default route through its link, so that its
// broadcasts leave there (from 0.0.0.0 when it has no address, as a booting device's do).
class RecoveryLab : public netlab::PcLab {
  public:
    struct Device {
        netlab::LabNamespace* space = nullptr;
        std::string pcInterface;
        std::string interface;
        std::uint32_t pcAddress = 0;
        std::uint32_t address = 0;  // 0: none
        std::array<std::uint8_t, 6> mac{};
    };

    RecoveryLab();
    ~RecoveryLab();
    RecoveryLab(const RecoveryLab&) = delete;
    RecoveryLab& operator=(const RecoveryLab&) = delete;

    Device& addDevice(const std::array<std::uint8_t, 6>& mac, bool withAddress = true);

    // Starts the console and selects Firmware Upgrade; with waitForService, returns when
    // ports 67 and 69 of every link are open.
    void start(Timings timings = recoveryTimings(), Pinger* pinger = nullptr,
               bool waitForService = true);
    // Ports 67 and 69 of this link are open in the PC namespace.
    bool serving(const Device& device) const;

    // Runs fn on the console's user-interface thread and waits for it. A handler that has not
    // returned within `limit` is taken for a deadlock: the test program ends with the log
    // rather than hanging (fn may still refer to the caller's frame).
    // Clicks a mode radio on the user-interface thread.
    void click(ControlId radio);
    // Visits Auto and the firmware-file mode once (for what the console keeps from a first
    // visit: the upgrade driver and its wake-up descriptor) and ends in Manual, which runs no
    // worker: the state that tests of leftovers measure from.
    void settleInManual();
    void onUi(const std::function<void(OperatorConsole&)>& fn,
              std::chrono::milliseconds limit = 4 * kPatience);
    OperatorConsole& console() { return ui_->console(); }
    RecordingView& view() { return view_; }
    // The status rows, joined.
    std::string log();
    bool waitForLog(const std::string& text, std::chrono::milliseconds limit = kPatience);

    // ---- The device side --------------------------------------------------------------------
    // Runs busybox udhcpc on the device's link; the variables its script got when bound
    // (ip, siaddr, boot_file, serverid, ...), empty when no lease came.
    std::map<std::string, std::string> udhcpc(const Device& device,
                                              const std::optional<std::string>& hostName,
                                              int discovers = 3);
    // Fetches a file from the device's link's PC address with curl into `out`; curl's exit
    // code.
    int curlGet(const Device& device, const std::string& name, const std::string& out);
    // Runs busybox tftp with `arguments` (-g/-p, -r, -l) against the device's link's PC
    // address; its exit code.
    int busyboxTftp(const Device& device, const std::vector<std::string>& arguments);
    // A datagram socket in the device's namespace bound to address:port (0.0.0.0: any).
    std::unique_ptr<CTimedSocket> socket(const Device& device, std::uint16_t port,
                                         std::uint32_t address = 0);
    // The route to 192.168.0.100 in the PC namespace, as ip shows it.
    std::string recoveryRoute();

    // How long a test waits (with eventually()) for what the service or a device brings about.
    static constexpr std::chrono::milliseconds kPatience{15000};

    TempDir temp;
    // The interface watcher's clock, set before start(); none: one look every interfaceWatch.
    WatchTicker* watchTicker = nullptr;

  private:
    std::vector<std::unique_ptr<Device>> devices_;
    SystemInterfaceSource interfaces_;
    DeviceWorkerFactory workers_;
    RecordingView view_;
    int scripts_ = 0;
    std::unique_ptr<LabUiThread> ui_;
};

// Receives one datagram within `limit`; nothing when none came.
std::optional<std::vector<std::uint8_t>> receiveWithin(CTimedSocket& socket,
                                                       std::chrono::milliseconds limit,
                                                       Endpoint* from = nullptr);

}  // namespace vantor::test
