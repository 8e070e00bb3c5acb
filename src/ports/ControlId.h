#pragma once

#include <array>
#include <string_view>

#include "ports/ConsoleMode.h"

namespace vantor {

// The main window's controls, numbered as the window's resource identifiers.
enum class ControlId : int {
    ExitButton = 1011,
    BannerButton = 1012,
    BannerPicture = 1043,
    StatusList = 1007,
    NoticeLine = 1024,
    FirmwarePath = 1025,
    RoutingButton = 1026,
    Mac1 = 1027,
    Mac2 = 1033,
    Mac3 = 1034,
    Mac4 = 1035,
    Mac5 = 1036,
    Mac6 = 1037,
    Ip1 = 1038,
    Ip2 = 1039,
    Ip3 = 1040,
    Ip4 = 1041,
    SetButton = 1046,
    RadioAuto = 1047,
    RadioManual = 1048,
    BrowseButton = 1051,
    ClearCheck = 1052,
    RadioRecovery = 1053,
    RadioFirmwareFile = 1057,
    PasswordLabel = 1058,
    FirmwareLabel = 1059,
    PasswordEdit = 1060,
    UpdateButton = 1061,
    OnePageCheck = 1062,
    // Auto: every device that announces is taken, not only the first.
    EveryDeviceCheck = 1063,
};

inline constexpr std::array<ControlId, 6> kMacControls = {ControlId::Mac1, ControlId::Mac2,
                                                          ControlId::Mac3, ControlId::Mac4,
                                                          ControlId::Mac5, ControlId::Mac6};
inline constexpr std::array<ControlId, 4> kIpControls = {ControlId::Ip1, ControlId::Ip2,
                                                         ControlId::Ip3, ControlId::Ip4};
inline constexpr std::array<ControlId, 4> kModeRadios = {
    ControlId::RadioAuto, ControlId::RadioManual, ControlId::RadioRecovery,
    ControlId::RadioFirmwareFile};
// The controls of the firmware-file mode, shown and hidden together.
inline constexpr std::array<ControlId, 7> kFirmwareControls = {
    ControlId::PasswordLabel, ControlId::FirmwareLabel, ControlId::FirmwarePath,
    ControlId::PasswordEdit,  ControlId::UpdateButton,  ControlId::BrowseButton,
    ControlId::OnePageCheck};

// Every control, for views and tests that walk them all.
inline constexpr std::array<ControlId, 30> kAllControls = {
    ControlId::ExitButton,    ControlId::BannerButton,  ControlId::BannerPicture,
    ControlId::StatusList,    ControlId::NoticeLine,    ControlId::FirmwarePath,
    ControlId::RoutingButton, ControlId::Mac1,          ControlId::Mac2,
    ControlId::Mac3,          ControlId::Mac4,          ControlId::Mac5,
    ControlId::Mac6,          ControlId::Ip1,           ControlId::Ip2,
    ControlId::Ip3,           ControlId::Ip4,           ControlId::SetButton,
    ControlId::RadioAuto,     ControlId::RadioManual,   ControlId::BrowseButton,
    ControlId::ClearCheck,    ControlId::RadioRecovery, ControlId::RadioFirmwareFile,
    ControlId::PasswordLabel, ControlId::FirmwareLabel, ControlId::PasswordEdit,
    ControlId::UpdateButton,  ControlId::OnePageCheck,  ControlId::EveryDeviceCheck};

std::string_view controlName(ControlId id);
// The radio that selects a mode (Auto's for Switching).
ControlId radioOf(ConsoleMode mode);

}  // namespace vantor
