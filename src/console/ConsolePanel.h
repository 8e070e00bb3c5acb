#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "base/Product.h"
#include "console/ControlBoard.h"
#include "console/UiDispatcher.h"
#include "ports/ControlPanel.h"
#include "ports/RunGate.h"

namespace vantor {

class ConsoleReport;
class ConsoleView;

// The window's controls as one panel: the address fields with their rules, the mode radios,
// the firmware-file controls, and the operator's input as the view reports it. Changes are
// made on the user-interface thread, whichever thread asks for them.
class ConsolePanel final : public ControlPanel {
  public:
    // view: the console's view slot, read on the user-interface thread only.
    ConsolePanel(UiDispatcher& dispatcher, ControlBoard& board, ConsoleView* const& view,
                 ConsoleReport& report, const RunGate& gate);

    // ControlPanel.
    std::string text(ControlId id) const override { return board_.text(id); }
    bool checked(ControlId id) const override { return board_.checked(id); }
    void setText(ControlId id, const std::string& text) override;
    void enable(ControlId id, bool on) override;
    void enableModeRadios(bool on) override;
    void focus(ControlId id) override;
    MacTexts macTexts() const override;
    IpTexts ipTexts() const override;
    std::string macText() const override;
    std::string ipText() const override;
    bool validMac() const override;
    bool validDeviceIp() const override;
    void clearMacFields() override;
    void clearIpFields() override;
    void prefillMacOui() override;
    // The OUI prefillMacOui writes: the recovery kit's first device OUI.
    void setDeviceOui(const std::array<std::uint8_t, 3>& oui) { deviceOui_ = oui; }
    void clearStatus() override;
    void showMessage(const std::string& text, MessageIcon icon) override;
    std::optional<std::string> chooseFile(const std::string& filter) override;

    // The window as it is created, and the limits Initialize sets.
    void setInitialState();
    void setTextLimits();
    // Any change of the board, made on the user-interface thread.
    void change(const std::function<void(ControlBoard&)>& edit);
    void setMacFields(const std::array<std::uint8_t, 6>& octets);
    void setIpFields(const std::array<std::uint8_t, 4>& octets);
    void setMacReadOnly(bool on);
    void setIpReadOnly(bool on);
    void enableMacFields(bool on);
    // Shows the controls of `mode` and hides those of the other modes, whichever mode was
    // left; entering firmware-file mode also empties the archive path and unchecks the
    // one-page option.
    void showControlsOf(ConsoleMode mode);
    // Checks this radio alone, as the radio group does (user-interface thread).
    void selectRadio(ControlId radio);

    // The operator's input reported by the view (user-interface thread).
    void fieldEdited(ControlId id, const std::string& text);
    void fieldFull(ControlId id);
    void fieldFocusLost(ControlId id);
    // Set and Update act on the fields as if each had lost the focus: a field the operator is
    // still in, or never left, is normalised too. MAC groups that are not finished stay as
    // they are, for the validity check to refuse.
    void normalizeIpFields();
    void normalizeMacFields();

  private:
    void normalize(ControlBoard& board, ControlId id);

    UiDispatcher& dispatcher_;
    ControlBoard& board_;
    ConsoleView* const& view_;
    ConsoleReport& report_;
    const RunGate& gate_;
    std::array<std::uint8_t, 3> deviceOui_ = kDeviceOui;
};

}  // namespace vantor
