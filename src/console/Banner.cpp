#include "console/Banner.h"

#include "console/ConsoleLimits.h"
#include "console/ConsoleView.h"

namespace vantor {

Banner::Banner(std::mutex& bannerLock) : lock_(bannerLock) {}

void Banner::SetBannerState(BannerState state, ConsoleMode mode) {
    std::lock_guard lock(lock_);
    state_ = state;
    devicePagePath_ =
        std::string(mode == ConsoleMode::FirmwareFile ? kDevicePagePathRoot : kDevicePagePathSetup);
    bannerChanged_ = true;
    switch (state) {
        case BannerState::DeviceReady:
            if (mode == ConsoleMode::Recovery) {
                devicePagePath_ = std::string(kDevicePagePathRoot);
            }
            bannerSetupPage_ = true;
            bannerIsButton_ = true;
            break;
        case BannerState::UpdateStatus:
            devicePagePath_ = std::string(kDevicePagePathRoot);
            bannerSetupPage_ = false;
            bannerIsButton_ = true;
            break;
        case BannerState::Instructions:
            bannerSetupPage_ = true;
            bannerIsButton_ = false;
            break;
    }
}

BannerPair Banner::pairFor(bool isButton, bool setupPage, ConsoleMode mode, BannerPair current) {
    if (isButton) {
        switch (mode) {
            case ConsoleMode::Recovery:
                return setupPage ? BannerPair::SetupButton : BannerPair::StatusButton;
            case ConsoleMode::FirmwareFile:
                return BannerPair::UpgradeButton;
            default:
                return BannerPair::SetupButton;
        }
    }
    switch (mode) {
        case ConsoleMode::Auto:
            return BannerPair::AutoHint;
        case ConsoleMode::Manual:
            return BannerPair::ManualHint;
        case ConsoleMode::Recovery:
        case ConsoleMode::FirmwareFile:
            return BannerPair::PowerUpHint;
        case ConsoleMode::Switching:
            break;
    }
    return current;  // while the watcher restarts listeners the images stay as they are
}

Banner::Frame Banner::OnTimerTick(ConsoleMode mode) {
    std::lock_guard lock(lock_);
    if (bannerChanged_) {
        bannerChanged_ = false;
        pair_ = pairFor(bannerIsButton_, bannerSetupPage_, mode, pair_);
    }
    const Frame frame{pair_, blinkPhase_, bannerIsButton_};
    blinkPhase_ = !blinkPhase_;
    return frame;
}

void Banner::resetBlink() {
    std::lock_guard lock(lock_);
    blinkPhase_ = true;
}

BannerState Banner::state() const {
    std::lock_guard lock(lock_);
    return state_;
}

std::string Banner::devicePagePath() const {
    std::lock_guard lock(lock_);
    return devicePagePath_;
}

std::string ShellErrorText(int resultCode) {
    switch (resultCode) {
        case 0:
            return "The operating system is out of memory or resources";
        case ConsoleView::kPageOpenerNotFound:
            return "The specified program xdg-open was not found";
        case ConsoleView::kPageOpenerFailed:
            return "There is no application that could open the page (xdg-open failed to start)";
        default:
            return "Unexpected error";
    }
}

}  // namespace vantor
