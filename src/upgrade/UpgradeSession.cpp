#include "upgrade/UpgradeSession.h"

#include <array>

#include "hostnet/PrivilegeCheck.h"
#include "ports/ConsoleMode.h"
#include "upgrade/CodeUpdateSender.h"
#include "upgrade/CodeUpdateWire.h"
#include "upgrade/UpgradeLimits.h"

namespace vantor {

namespace {

// The image a model query is handed: it sends none of it.
const UpdateImage& noImage() {
    static const UpdateImage image;
    return image;
}

}  // namespace

UpgradeSession::UpgradeSession(Target target, Pinger& pinger, const Timings& timings,
                               StopSignal& stop, const TransportFactory& makeTransport,
                               UpgradeSessionReport& report)
    : target_(std::move(target)),
      pinger_(pinger),
      timings_(timings),
      stop_(stop),
      makeTransport_(makeTransport),
      report_(report) {}

void UpgradeSession::log(const std::string& text) {
    report_.AppendStatus(tagOf(ConsoleMode::FirmwareFile), text);
}

bool UpgradeSession::waitForReboot() {
    log("> Waiting to complete upgrade, Do Not Unplug.\n");
    for (int check = 0; check < kUpgradeRebootChecks; ++check) {
        // One echo attempt at a time: the same as one call of 30 attempts, but a stop request
        // is seen between them rather than after half a minute.
        for (int attempt = 0; attempt < kUpgradeRebootAttempts; ++attempt) {
            if (stop_.requested()) {
                return false;
            }
            if (pinger_.PingHost(target_.deviceIp, 1, kUpgradePingDataSize)) {
                log("> System reboot completed.\n");
                return true;
            }
        }
        if (!stop_.sleepFor(timings_.rebootCheckPause)) {
            return false;
        }
    }
    report_.message("Cannot ping the device");
    return false;
}

bool UpgradeSession::run(UpgradeImageSource& images) {
    if (stop_.requested()) {
        return false;
    }
    if (!pinger_.PingHost(target_.deviceIp, kUpgradeReachAttempts, kUpgradePingDataSize)) {
        if (!pinger_.CanSendEcho()) {
            // The device may well answer: this PC may not ask.
            static constexpr std::array kEcho{Privilege::Echo};
            log("> Error: This PC cannot send pings, so whether the system on IP address " +
                target_.deviceIp + " responds is not known. " + PrivilegeCheck::Remedy(kEcho) +
                "\n");
        } else {
            log("> System on IP address  " + target_.deviceIp + " is not responding.\n");
        }
        return false;
    }
    if (stop_.requested()) {
        return false;
    }
    const std::optional<MemberSelection> members = images.members(report_);
    if (!members) {
        return false;
    }

    const std::unique_ptr<CodeUpdateTransport> transport =
        makeTransport_(target_.deviceIp, stop_.wakeFd());
    if (!transport) {
        return false;
    }
    CodeUpdateSender sender(*transport, report_, timings_, stop_,
                            [this](bool on) { report_.enableModeRadios(on); });
    sender.onProgress([this](std::string_view region, std::uint64_t done, std::uint64_t total) {
        report_.progress(region, done, total);
    });
    // No update file header has been read in this session yet: any model is taken until one is.
    bool hasHeader = true;
    CodeUpdateSettings settings{target_.setPassword, target_.onePagePerPacket, hasHeader,
                                std::nullopt};
    const UpdateImage* image = &noImage();
    const auto transfer = [&](std::uint8_t kind) {
        settings.hasHeader = hasHeader;
        return sender.transferFile(kind, *image, settings) == 1;
    };
    const auto load = [&](std::size_t member, std::uint8_t fileType) {
        image = images.image(member, hasHeader, fileType, report_);
        return image != nullptr;
    };

    if (members->microcode) {
        if (!load(*members->microcode, 0)) {
            return false;
        }
        settings.model = image->model;
        log("> Sending the new microcode to the remote system\n");
        if (image->fileType == TYPE_MICROCODE && !transfer(KIND_TAIL)) {
            return false;
        }
        if (!transfer(image->fileType) || !waitForReboot()) {
            return false;
        }
    }
    if (members->bin) {
        sender.setVersionFallback(false);
        if (!transfer(KIND_MODEL_QUERY)) {
            return false;
        }
        hasHeader = false;
        if (!load(*members->bin, TYPE_BIN)) {
            return false;
        }
        log("> Sending the new microcode to the remote system\n");
        if (!transfer(TYPE_BIN)) {
            return false;
        }
    }
    if (members->logoOnly()) {
        sender.setVersionFallback(false);
        if (!transfer(KIND_MODEL_QUERY)) {
            return false;
        }
    }
    if (members->logo) {
        hasHeader = false;
        if (!load(*members->logo, TYPE_LOGO)) {
            return false;
        }
        log("> Sending the new gif logo to the remote system\n");
        if (!transfer(TYPE_LOGO)) {
            return false;
        }
    }
    log("> Upgrade Complete\n");
    return true;
}

}  // namespace vantor
