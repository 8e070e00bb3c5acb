#pragma once

namespace vantor {

enum class BannerState : int {
    Instructions = 1,
    DeviceReady = 2,
    UpdateStatus = 3,
};

// The image pairs the banner alternates between; each pair has a blue first image and a red or
// green second one.
enum class BannerPair : int {
    AutoHint,
    ManualHint,
    PowerUpHint,
    SetupButton,
    StatusButton,
    UpgradeButton,
};

}  // namespace vantor
