#include "ports/ControlId.h"

namespace vantor {

std::string_view controlName(ControlId id) {
    switch (id) {
        case ControlId::ExitButton:
            return "Exit";
        case ControlId::BannerButton:
            return "BannerButton";
        case ControlId::BannerPicture:
            return "BannerPicture";
        case ControlId::StatusList:
            return "StatusList";
        case ControlId::NoticeLine:
            return "NoticeLine";
        case ControlId::FirmwarePath:
            return "FirmwarePath";
        case ControlId::RoutingButton:
            return "RoutingButton";
        case ControlId::Mac1:
            return "Mac1";
        case ControlId::Mac2:
            return "Mac2";
        case ControlId::Mac3:
            return "Mac3";
        case ControlId::Mac4:
            return "Mac4";
        case ControlId::Mac5:
            return "Mac5";
        case ControlId::Mac6:
            return "Mac6";
        case ControlId::Ip1:
            return "Ip1";
        case ControlId::Ip2:
            return "Ip2";
        case ControlId::Ip3:
            return "Ip3";
        case ControlId::Ip4:
            return "Ip4";
        case ControlId::SetButton:
            return "Set";
        case ControlId::RadioAuto:
            return "RadioAuto";
        case ControlId::RadioManual:
            return "RadioManual";
        case ControlId::BrowseButton:
            return "Browse";
        case ControlId::ClearCheck:
            return "ClearCheck";
        case ControlId::RadioRecovery:
            return "RadioRecovery";
        case ControlId::RadioFirmwareFile:
            return "RadioFirmwareFile";
        case ControlId::PasswordLabel:
            return "PasswordLabel";
        case ControlId::FirmwareLabel:
            return "FirmwareLabel";
        case ControlId::PasswordEdit:
            return "PasswordEdit";
        case ControlId::UpdateButton:
            return "Update";
        case ControlId::OnePageCheck:
            return "OnePageCheck";
        case ControlId::EveryDeviceCheck:
            return "EveryDeviceCheck";
    }
    return "?";
}

ControlId radioOf(ConsoleMode mode) {
    switch (mode) {
        case ConsoleMode::Manual:
            return ControlId::RadioManual;
        case ConsoleMode::Recovery:
            return ControlId::RadioRecovery;
        case ConsoleMode::FirmwareFile:
            return ControlId::RadioFirmwareFile;
        default:
            return ControlId::RadioAuto;
    }
}

}  // namespace vantor
