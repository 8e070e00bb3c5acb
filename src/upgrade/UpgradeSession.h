#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/Timings.h"
#include "hostnet/Pinger.h"
#include "upgrade/CodeUpdateTransport.h"
#include "upgrade/MemberSelection.h"
#include "upgrade/StatusSink.h"
#include "upgrade/StopSignal.h"
#include "upgrade/UpdateImage.h"

namespace vantor {

// Where one upgrade session's rows, message boxes and progress go: the console's status log
// for a single Update, rows with the device's address in front for one device of a batch.
class UpgradeSessionReport : public StatusSink {
  public:
    virtual void message(const std::string& text) = 0;
    // The console's mode radios: the protocol lets the operator leave the mode while it asks
    // the device for its model.
    virtual void enableModeRadios(bool on) = 0;
    virtual void progress(std::string_view region, std::uint64_t done, std::uint64_t total) = 0;
};

// The images a session sends. A single Update reads the archive as it goes; a batch hands
// every device the images it decoded once.
class UpgradeImageSource {
  public:
    virtual ~UpgradeImageSource() = default;
    // After the device has answered: the members to send, or none once the rows that say why
    // are written.
    virtual std::optional<MemberSelection> members(UpgradeSessionReport& report) = 0;
    // The image of a member; hasHeader says whether it starts with an update file header,
    // fileType gives the type of one without. Null once the rows (or message) that say why are
    // written.
    virtual const UpdateImage* image(std::size_t member, bool hasHeader, std::uint8_t fileType,
                                     UpgradeSessionReport& report) = 0;
};

// One device's upgrade from the reachability check to "> Upgrade Complete": microcode, the
// wait for the reboot, the model query, the bin image and the logo, over a socket of its own.
// It ends at its next step when the stop signal is raised.
class UpgradeSession {
  public:
    // Opens the transport to deviceIp; wakeFd (or -1) becomes readable on a stop request.
    using TransportFactory = std::function<std::unique_ptr<CodeUpdateTransport>(
        const std::string& deviceIp, int wakeFd)>;

    struct Target {
        std::string deviceIp;
        std::string setPassword;
        bool onePagePerPacket = false;
    };

    UpgradeSession(Target target, Pinger& pinger, const Timings& timings, StopSignal& stop,
                   const TransportFactory& makeTransport, UpgradeSessionReport& report);

    // True when every member was sent and accepted.
    bool run(UpgradeImageSource& images);

  private:
    bool waitForReboot();
    void log(const std::string& text);

    Target target_;
    Pinger& pinger_;
    const Timings& timings_;
    StopSignal& stop_;
    const TransportFactory& makeTransport_;
    UpgradeSessionReport& report_;
};

}  // namespace vantor
