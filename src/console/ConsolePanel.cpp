#include "console/ConsolePanel.h"

#include <algorithm>
#include <cctype>

#include "base/Product.h"
#include "console/AddressFieldWriter.h"
#include "console/ConsoleLimits.h"
#include "console/ConsoleReport.h"
#include "console/ConsoleView.h"
#include "console/ModeController.h"

namespace vantor {

ConsolePanel::ConsolePanel(UiDispatcher& dispatcher, ControlBoard& board, ConsoleView* const& view,
                           ConsoleReport& report, const RunGate& gate)
    : dispatcher_(dispatcher), board_(board), view_(view), report_(report), gate_(gate) {}

void ConsolePanel::setInitialState() {
    board_.setEnabled(ControlId::SetButton, false);
    board_.setEnabled(ControlId::ClearCheck, false);
    board_.setVisible(ControlId::RadioFirmwareFile, false);
    for (ControlId id : kFirmwareControls) {
        board_.setVisible(id, false);
    }
    for (ControlId id : kMacControls) {
        board_.setReadOnly(id, true);
    }
    for (ControlId id : kIpControls) {
        board_.setReadOnly(id, true);
    }
    board_.setReadOnly(ControlId::NoticeLine, true);
    board_.setVisible(ControlId::BannerButton, false);
}

void ConsolePanel::setTextLimits() {
    for (ControlId id : kIpControls) {
        board_.setTextLimit(id, static_cast<int>(kIpFieldLimit));
    }
    for (ControlId id : kMacControls) {
        board_.setTextLimit(id, static_cast<int>(kMacFieldLimit));
    }
    board_.setTextLimit(ControlId::NoticeLine, 0);
}

void ConsolePanel::change(const std::function<void(ControlBoard&)>& edit) {
    dispatcher_.invoke([&] { edit(board_); });
}

// ---- Controls -----------------------------------------------------------------------------

void ConsolePanel::setText(ControlId id, const std::string& text) {
    change([&](ControlBoard& board) { board.setText(id, text); });
}

void ConsolePanel::enable(ControlId id, bool on) {
    change([&](ControlBoard& board) { board.setEnabled(id, on); });
}

void ConsolePanel::enableModeRadios(bool on) {
    // The firmware-file radio stands for an entry of the window's menu, which a view greys
    // out with it: where the switch table would refuse that switch, the entry is not offered.
    const bool firmwareFileReachable =
        ModeController::transition(gate_.mode(), ConsoleMode::FirmwareFile).has_value();
    change([&](ControlBoard& board) {
        for (ControlId id : kModeRadios) {
            board.setEnabled(id,
                             on && (id != ControlId::RadioFirmwareFile || firmwareFileReachable));
        }
    });
}

void ConsolePanel::focus(ControlId id) {
    change([&](ControlBoard& board) { board.focus(id); });
}

void ConsolePanel::selectRadio(ControlId radio) {
    for (ControlId id : kModeRadios) {
        board_.setChecked(id, id == radio);
    }
}

void ConsolePanel::showControlsOf(ConsoleMode mode) {
    const bool firmwareFile = mode == ConsoleMode::FirmwareFile;
    change([&](ControlBoard& board) {
        if (firmwareFile) {
            board.setText(ControlId::FirmwarePath, "");
        }
        for (ControlId id : kFirmwareControls) {
            board.setVisible(id, firmwareFile);
        }
        if (firmwareFile) {
            board.setChecked(ControlId::OnePageCheck, false);
        }
        // The firmware controls take the check box's band.
        board.setVisible(ControlId::ClearCheck, !firmwareFile);
        board.setVisible(ControlId::EveryDeviceCheck, mode == ConsoleMode::Auto);
    });
}

void ConsolePanel::clearStatus() {
    report_.clearStatus();
}

void ConsolePanel::showMessage(const std::string& text, MessageIcon icon) {
    if (view_ != nullptr) {
        view_->showMessage(text, icon);
    }
}

std::optional<std::string> ConsolePanel::chooseFile(const std::string& filter) {
    return view_ != nullptr ? view_->chooseFile(filter) : std::nullopt;
}

// ---- Address fields -----------------------------------------------------------------------

void ConsolePanel::setMacFields(const std::array<std::uint8_t, 6>& octets) {
    report_.showDeviceMac(octets);
}

void ConsolePanel::setIpFields(const std::array<std::uint8_t, 4>& octets) {
    report_.showDeviceIp(octets);
}

void ConsolePanel::clearMacFields() {
    change([&](ControlBoard& board) {
        for (ControlId id : kMacControls) {
            writeAddressField(board, id, std::string(kBlankMarker));
        }
    });
}

void ConsolePanel::clearIpFields() {
    change([&](ControlBoard& board) {
        for (ControlId id : kIpControls) {
            writeAddressField(board, id, std::string(kBlankMarker));
        }
    });
}

void ConsolePanel::setMacReadOnly(bool on) {
    change([&](ControlBoard& board) {
        for (ControlId id : kMacControls) {
            board.setReadOnly(id, on);
        }
    });
}

void ConsolePanel::setIpReadOnly(bool on) {
    change([&](ControlBoard& board) {
        for (ControlId id : kIpControls) {
            board.setReadOnly(id, on);
        }
    });
}

void ConsolePanel::enableMacFields(bool on) {
    change([&](ControlBoard& board) {
        for (ControlId id : kMacControls) {
            board.setEnabled(id, on);
        }
    });
}

void ConsolePanel::prefillMacOui() {
    change([&](ControlBoard& board) {
        for (std::size_t i = 0; i < deviceOui_.size(); ++i) {
            if (board.text(kMacControls[i]) == kBlankMarker) {
                writeAddressField(board, kMacControls[i], AddressFields::macOctet(deviceOui_[i]));
                board.focus(kMacControls[i + 1]);
            }
        }
    });
}

MacTexts ConsolePanel::macTexts() const {
    MacTexts texts;
    for (std::size_t i = 0; i < kMacControls.size(); ++i) {
        texts[i] = board_.text(kMacControls[i]);
    }
    return texts;
}

IpTexts ConsolePanel::ipTexts() const {
    IpTexts texts;
    for (std::size_t i = 0; i < kIpControls.size(); ++i) {
        texts[i] = board_.text(kIpControls[i]);
    }
    return texts;
}

std::string ConsolePanel::macText() const {
    return AddressFields::joinMac(macTexts());
}

std::string ConsolePanel::ipText() const {
    return AddressFields::joinIp(ipTexts());
}

bool ConsolePanel::validMac() const {
    return AddressFields::isValidMac(macTexts());
}

bool ConsolePanel::validDeviceIp() const {
    return AddressFields::isValidDeviceIp(ipTexts());
}

// ---- Operator input -----------------------------------------------------------------------

void ConsolePanel::fieldEdited(ControlId id, const std::string& text) {
    if (!AddressFields::isAddressField(id)) {
        board_.noteText(id, text);
        return;
    }
    std::string shown = text;
    if (AddressFields::isMacField(id)) {
        std::transform(shown.begin(), shown.end(), shown.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    }
    if (shown != text) {
        board_.setText(id, shown);
    } else {
        board_.noteText(id, shown);
    }
    if (const auto next = AddressFields::moveOnAfterChange(id, shown)) {
        board_.focus(*next);
    }
}

void ConsolePanel::fieldFull(ControlId id) {
    // The refused character is dropped, not carried into the next field.
    if (const auto next = AddressFields::moveOnWhenFull(id)) {
        board_.focus(*next);
    }
}

void ConsolePanel::normalizeIpFields() {
    change([&](ControlBoard& board) {
        for (ControlId id : kIpControls) {
            normalize(board, id);
        }
    });
}

void ConsolePanel::normalizeMacFields() {
    change([&](ControlBoard& board) {
        for (ControlId id : kMacControls) {
            if (AddressFields::isCompleteMacGroup(board.text(id))) {
                normalize(board, id);
            }
        }
    });
}

void ConsolePanel::normalize(ControlBoard& board, ControlId id) {
    // The press has put the focus where the operator wants it: it does not move on here.
    const std::string text = board.text(id);
    const auto normalized = AddressFields::normalizeOnFocusLoss(id, text, gate_.mode());
    if (normalized && *normalized != text) {
        board.setText(id, *normalized);
    }
}

void ConsolePanel::fieldFocusLost(ControlId id) {
    const std::string text = board_.text(id);
    const auto normalized = AddressFields::normalizeOnFocusLoss(id, text, gate_.mode());
    if (normalized && *normalized != text) {
        writeAddressField(board_, id, *normalized);
    }
}

}  // namespace vantor
