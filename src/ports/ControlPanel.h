#pragma once

#include <optional>
#include <string>

#include "base/MessageIcon.h"
#include "ports/AddressTexts.h"
#include "ports/ControlId.h"

namespace vantor {

// The window's controls as the Set and Update buttons use them: what the operator entered,
// and the controls they enable, fill and focus. Reads are callable from any thread; the
// message box and the file dialog on the user-interface thread only.
class ControlPanel {
  public:
    virtual ~ControlPanel() = default;

    virtual std::string text(ControlId id) const = 0;
    virtual bool checked(ControlId id) const = 0;
    virtual void setText(ControlId id, const std::string& text) = 0;
    virtual void enable(ControlId id, bool on) = 0;
    virtual void enableModeRadios(bool on) = 0;
    virtual void focus(ControlId id) = 0;

    // The address fields.
    virtual MacTexts macTexts() const = 0;
    virtual IpTexts ipTexts() const = 0;
    virtual std::string macText() const = 0;  // "XX-XX-XX-XX-XX-XX"
    virtual std::string ipText() const = 0;   // "a.b.c.d"
    virtual bool validMac() const = 0;
    virtual bool validDeviceIp() const = 0;
    virtual void clearMacFields() = 0;
    virtual void clearIpFields() = 0;
    // The maker's OUI in the blank first three MAC fields.
    virtual void prefillMacOui() = 0;

    // Empties the status log, as one group.
    virtual void clearStatus() = 0;
    // A modal message box (user-interface thread).
    virtual void showMessage(const std::string& text, MessageIcon icon) = 0;
    // An open-file dialog (user-interface thread); nothing when cancelled.
    virtual std::optional<std::string> chooseFile(const std::string& filter) = 0;
};

}  // namespace vantor
