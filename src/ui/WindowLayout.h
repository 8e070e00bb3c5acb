// Where everything stands in the main window and the About box, in dialog units.
#pragma once

#include <array>

#include "ports/ControlId.h"
#include "ui/DialogUnits.h"

namespace vantor::ui::layout {

inline constexpr int kWindowWidth = 304;
inline constexpr int kWindowHeight = 372;

// The six frames, in the order they are drawn; an empty caption draws the frame alone.
struct Frame {
    const char* caption;
    DuRect rect;
};
inline constexpr std::array<Frame, 6> kFrames = {{
    {"", {7, 22, 291, 88}},
    {"Mode", {12, 29, 93, 62}},
    {"MAC Address", {108, 29, 186, 30}},
    {"IP Address", {108, 61, 141, 30}},
    {"Status", {7, 111, 291, 187}},
    {"", {7, 298, 291, 55}},
}};

inline constexpr std::size_t kUpperFrame = 0;
inline constexpr std::size_t kStatusFrame = 4;

// In firmware-file mode its controls fill the band from the upper frame's foot down to the
// one-page check box (y 128): the upper frame reaches round them, and the "Status" frame and
// list start below them, shorter by as much. Everything else stays where it is.
inline constexpr DuRect kUpperFrameWithFirmware = {7, 22, 291, 109};
inline constexpr DuRect kStatusFrameWithFirmware = {7, 132, 291, 165};
inline constexpr DuRect kStatusListWithFirmware = {13, 142, 280, 150};

// The separator labels between the address fields.
inline constexpr std::array<DuRect, 5> kMacDashes = {{
    {137, 42, 8, 8},
    {167, 42, 8, 8},
    {197, 42, 8, 8},
    {227, 42, 8, 8},
    {257, 42, 8, 8},
}};
inline constexpr std::array<DuRect, 3> kIpDots = {{
    {141, 75, 8, 8},
    {175, 75, 8, 8},
    {209, 75, 8, 8},
}};

// The rectangle of one control.
constexpr DuRect controlRect(ControlId id) {
    switch (id) {
        case ControlId::BannerButton:
        case ControlId::BannerPicture:
            return {8, 4, 290, 17};
        case ControlId::RadioAuto:
            return {15, 44, 86, 10};
        case ControlId::RadioManual:
            return {15, 57, 80, 10};
        case ControlId::RadioRecovery:
        case ControlId::RadioFirmwareFile:  // created hidden on top of its visible namesake
            return {15, 70, 81, 10};
        case ControlId::Mac1:
            return {115, 40, 22, 14};
        case ControlId::Mac2:
            return {145, 40, 22, 14};
        case ControlId::Mac3:
            return {175, 40, 22, 14};
        case ControlId::Mac4:
            return {205, 40, 22, 14};
        case ControlId::Mac5:
            return {235, 40, 22, 14};
        case ControlId::Mac6:
            return {265, 40, 22, 14};
        case ControlId::Ip1:
            return {115, 72, 25, 14};
        case ControlId::Ip2:
            return {149, 72, 25, 14};
        case ControlId::Ip3:
            return {183, 72, 25, 14};
        case ControlId::Ip4:
            return {217, 72, 25, 14};
        case ControlId::SetButton:
            return {254, 67, 38, 21};
        case ControlId::ClearCheck:
            return {13, 95, 176, 10};
        case ControlId::PasswordLabel:
            return {15, 92, 34, 8};
        case ControlId::FirmwareLabel:
            return {60, 92, 76, 8};
        case ControlId::PasswordEdit:
            return {15, 102, 35, 12};
        case ControlId::FirmwarePath:
            return {60, 102, 140, 12};
        case ControlId::BrowseButton:
            return {208, 102, 38, 21};
        case ControlId::UpdateButton:
            return {254, 102, 38, 21};
        case ControlId::OnePageCheck:
            return {60, 118, 100, 10};
        case ControlId::StatusList:
            return {13, 121, 280, 171};
        case ControlId::RoutingButton:
            return {27, 318, 120, 17};
        case ControlId::ExitButton:
            return {159, 318, 120, 17};
        case ControlId::NoticeLine:
            return {7, 357, 291, 12};
        case ControlId::EveryDeviceCheck:  // Auto only, right of the clear check box
            return {192, 95, 96, 10};
    }
    return {0, 0, 0, 0};
}

// "Upgrade several devices..." as a button: in the gap right of the one-page check box, under
// the firmware file field and left of Browse, above where the status frame begins in this mode.
inline constexpr DuRect kBatchUpgradeButton = {162, 116, 44, 14};

// "Devices heard..." as a button in Auto: the progress bar's band, under Exit (no transfer runs
// in Auto).
inline constexpr DuRect kDevicesHeardButton = {159, 337, 120, 14};

// The progress bar of a running transfer: the free band under the buttons of the bottom frame.
inline constexpr DuRect kProgressBar = {13, 338, 280, 11};

// The About box.
inline constexpr int kAboutWidth = 235;
inline constexpr int kAboutHeight = 55;
inline constexpr DuRect kAboutIcon = {7, 15, 21, 20};  // room for a 32-pixel icon
inline constexpr DuRect kAboutText = {35, 15, 143, 8};
inline constexpr DuRect kAboutKit = {35, 27, 143, 8};  // under the version, beside the icon
inline constexpr DuRect kAboutOk = {180, 7, 50, 14};

}  // namespace vantor::ui::layout
